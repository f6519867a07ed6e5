// Programming-contract checks. A violation is reported (by default through
// the runtime's assertion report) and the caller then carries on safely.
#pragma once

namespace zo {

typedef void (*ContractHandler)(const char* expression, const char* source, int line);

// Replaces the report for this library; null restores the default. Returns
// the previous handler. Tests install one to observe violations.
ContractHandler setContractHandler(ContractHandler handler);

// Reports a violation and answers false, so a check reads as a condition.
bool contractViolated(const char* expression, const char* source, int line);

}  // namespace zo

#define ZO_CONTRACT(source, expr) ((expr) ? true : ::zo::contractViolated(#expr, source, __LINE__))
