// Any bytes as a trigger (the first byte says how many of the rest) and a transcript context. The
// rule-based analyser either finds nothing or quotes a piece of the context that holds the trigger,
// and always names some component.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "analysis/transcript_rules_evidence_provider.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace quillmer;
    if (size == 0) return 0;
    const std::string_view input(reinterpret_cast<const char*>(data + 1), size - 1);
    const size_t triggerLength = std::min<size_t>(data[0] % 24, input.size());
    const std::string_view trigger = input.substr(0, triggerLength), context = input.substr(triggerLength);

    for (const auto sentence : TranscriptRules::sentences(context))
        if (sentence.empty() || sentence.data() < context.data() ||
            sentence.data() + sentence.size() > context.data() + context.size())
            std::abort();
    // Ranked by text alone and by a distance that differs between sentences.
    for (const bool timed : {false, true}) {
        const auto quote = TranscriptRules::quotedSentence(
            context, trigger, timed ? [](std::string_view s) { return static_cast<double>(s.size() % 3); }
                                    : std::function<double(std::string_view)>{});
        if (!quote) continue;
        if (context.find(*quote) == std::string_view::npos || !TranscriptRules::holdsTrigger(*quote, trigger))
            std::abort();
        if (TranscriptRules::component(*quote).empty()) std::abort();
    }
    return 0;
}
