// A minimal in-process host for framework tests: records every request and
// answers from a table the test controls. Also captures contract reports.
#pragma once

#include <cstring>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "ZOContract.h"
#include "ZOHostTypes.h"

struct FakeRequest {
    void* record;
    zolong opcode, index, value;
    void* ptr;
    float opt;
};

class FakeHost {
public:
    FakeHost() { current() = this; }
    ~FakeHost() { current() = nullptr; }

    static zolong callback(void* record, zolong opcode, zolong index, zolong value, void* ptr,
                           float opt) {
        FakeHost* host = current();
        if (!host) return 0;
        host->requests.push_back({record, opcode, index, value, ptr, opt});
        const bool audio = record && *static_cast<const std::int32_t*>(record) == ZO_MAGIC_AUDIO;
        if (audio && opcode == zo_request::add_event && ptr && host->capture_events)
            host->events.push_back(*static_cast<ZoEvent*>(ptr));
        if (host->on_request) host->on_request(host->requests.back());
        auto it = host->answers.find(opcode);
        return it == host->answers.end() ? 0 : it->second(index);
    }

    std::vector<FakeRequest> with(zolong opcode) const {
        std::vector<FakeRequest> out;
        for (const auto& r : requests)
            if (r.opcode == opcode) out.push_back(r);
        return out;
    }

    std::vector<FakeRequest> requests;
    std::vector<ZoEvent> events;
    bool capture_events = true;
    std::map<zolong, std::function<zolong(zolong index)>> answers;
    std::function<void(const FakeRequest&)> on_request;

private:
    static FakeHost*& current() {
        static FakeHost* host = nullptr;
        return host;
    }
};

struct ContractReport {
    std::string expression;
    std::string source;
    int line;
};

// Collects contract reports instead of the runtime's assertion report.
class ContractCatcher {
public:
    ContractCatcher() {
        reports().clear();
        m_previous = zo::setContractHandler(&record);
    }
    ~ContractCatcher() { zo::setContractHandler(m_previous); }
    static std::vector<ContractReport>& reports() {
        static std::vector<ContractReport> list;
        return list;
    }

private:
    static void record(const char* expression, const char* source, int line) {
        reports().push_back({expression, source, line});
    }
    zo::ContractHandler m_previous;
};
