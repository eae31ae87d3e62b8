// "integrations.status" and "integrations.install": the coding agents that read the exports.
// The agents' tools run to completion on the calling thread; each takes a second or two at most.
#include "app/native_bridge_error.h"
#include "app/native_review_bridge.h"
#include "platform/linux/posix_process_runner.h"
#include "review/coding_agent_connector.h"

namespace quillmer {

namespace {

Json rawValues(const std::vector<CodingAgentClient>& clients) {
    Json values = Json::array();
    for (const auto client : clients) values.push_back(std::string(rawValue(client)));
    return values;
}

}  // namespace

CodingAgentConnector NativeReviewBridge::codingAgents() const {
    if (dependencies_.codingAgents) return *dependencies_.codingAgents;
    static PosixProcessRunner runner;
    return CodingAgentConnector(runner, locateServer(), exportsRootPath());
}

void NativeReviewBridge::integrationsStatus(const Json&, const Reply& reply) {
    const auto status = codingAgents().connectionStatus();
    reply->succeed({{"available", status.serverAvailable},
                    {"connectedClients", rawValues(status.connected)},
                    {"repairableClients", rawValues(status.repairable)},
                    {"unavailableClients", rawValues(status.unavailable)}});
}

void NativeReviewBridge::integrationsInstall(const Json& args, const Reply& reply) {
    const auto client = !args.empty() && args[0].is_string() ? codingAgentClient(args[0].get<std::string>()) : std::nullopt;
    if (!client) throw NativeBridgeError(NativeBridgeErrorCase::invalidIntegration);
    const std::string message = codingAgents().connect(*client);
    reply->succeed({{"client", std::string(rawValue(*client))}, {"message", message}});
}

}  // namespace quillmer
