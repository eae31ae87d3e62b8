// "integrations.status" and "integrations.install": the coding agents that read the exports.
// Their tools take a second or more (Claude Code starts the server to check it), so with a main
// queue they run on a worker thread and the reply comes back on the main thread.
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

void NativeReviewBridge::answerOffMain(const Reply& reply, std::function<Json()> work) {
    MainQueue* queue = dependencies_.mainQueue;
    if (!queue) return reply->succeed(work());
    workers_.start([queue, reply, work = std::move(work), life = std::weak_ptr<int>(alive_)](std::stop_token) {
        std::optional<Json> value;
        std::string failure;
        try {
            value = work();
        } catch (const std::exception& error) {
            failure = error.what();
        }
        queue->post([life, reply, value = std::move(value), failure] {
            if (!life.lock()) return;
            if (value) reply->succeed(*value);
            else reply->fail(failure);
        });
    });
}

void NativeReviewBridge::integrationsStatus(const Json&, const Reply& reply) {
    answerOffMain(reply, [agents = codingAgents()] {
        const auto status = agents.connectionStatus();
        return Json{{"available", status.serverAvailable},
                    {"connectedClients", rawValues(status.connected)},
                    {"repairableClients", rawValues(status.repairable)},
                    {"unavailableClients", rawValues(status.unavailable)}};
    });
}

void NativeReviewBridge::integrationsInstall(const Json& args, const Reply& reply) {
    const auto client = !args.empty() && args[0].is_string() ? codingAgentClient(args[0].get<std::string>()) : std::nullopt;
    if (!client) throw NativeBridgeError(NativeBridgeErrorCase::invalidIntegration);
    answerOffMain(reply, [agents = codingAgents(), client = *client] {
        return Json{{"client", std::string(rawValue(client))}, {"message", agents.connect(client)}};
    });
}

}  // namespace quillmer
