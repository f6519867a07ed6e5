#include "ZOContract.h"

#include <atomic>
#include <cassert>


namespace zo {
namespace {

// Builds without assertions report nothing, exactly like the runtime's assert.
void runtimeAssertionReport(const char* expression, const char* source, int line) {
#if defined(NDEBUG)
    (void)expression;
    (void)source;
    (void)line;
#elif defined(_WIN32)
    _assert(expression, source, static_cast<unsigned>(line));
#else
    __assert_fail(expression, source, static_cast<unsigned>(line), "contract");
#endif
}

std::atomic<ContractHandler> g_handler{nullptr};

}  // namespace

ContractHandler setContractHandler(ContractHandler handler) {
    return g_handler.exchange(handler);
}

bool contractViolated(const char* expression, const char* source, int line) {
    ContractHandler handler = g_handler.load();
    if (handler)
        handler(expression, source, line);
    else
        runtimeAssertionReport(expression, source, line);
    return false;
}

}  // namespace zo
