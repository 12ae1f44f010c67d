#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "ports/icmp.h"
#include "ports/scheduler.h"

namespace nms::testing {

// An ICMP port on a scheduler (virtual time in tests). Hosts listed in `reachable` answer after
// their round-trip time; hosts listed in `failing` answer with that status after `failAfterMs`;
// every other address stays silent and times out. Every request is recorded.
class FakeIcmp : public ports::Icmp {
public:
    struct Request {
        RequestId id = 0;
        std::string address;
        std::vector<std::uint8_t> payload;
        int timeoutMs = 0;
        bool cancelled = false;
        bool answered = false;
    };

    explicit FakeIcmp(ports::Scheduler& scheduler) : scheduler_(scheduler) {}

    bool available() override {
        ++availabilityChecks;
        return usable;
    }

    RequestId echo(const std::string& ipv4, std::span<const std::uint8_t> payload, int timeoutMs,
                   std::function<void(ports::EchoResult)> done) override {
        if (!usable || refuseSend) return 0;
        const RequestId id = nextId_++;
        requests.push_back({id, ipv4, {payload.begin(), payload.end()}, timeoutMs, false, false});
        ports::EchoResult result{ports::echo_status::kTimedOut, 0};
        std::int64_t after = timeoutMs;
        if (auto r = reachable.find(ipv4); r != reachable.end()) {
            result = {ports::echo_status::kSuccess, r->second};
            after = r->second;
        } else if (auto f = failing.find(ipv4); f != failing.end()) {
            result = {f->second, 0};
            after = failAfterMs;
        }
        tasks_[id] = scheduler_.callAfter(after, [this, id, result, done = std::move(done)] {
            tasks_.erase(id);
            find(id).answered = true;
            if (done) done(result);
        });
        return id;
    }

    void cancel(RequestId id) override {
        auto it = tasks_.find(id);
        if (it == tasks_.end()) return;
        scheduler_.cancel(it->second);
        tasks_.erase(it);
        find(id).cancelled = true;
    }

    // Requests still waiting for their answer.
    std::size_t inFlight() const { return tasks_.size(); }

    bool usable = true;
    bool refuseSend = false;
    std::map<std::string, std::uint32_t> reachable;  // address → round-trip ms
    std::map<std::string, std::int32_t> failing;     // address → status
    std::int64_t failAfterMs = 10;
    std::vector<Request> requests;
    int availabilityChecks = 0;

private:
    Request& find(RequestId id) {
        for (auto& r : requests)
            if (r.id == id) return r;
        return requests.back();
    }

    ports::Scheduler& scheduler_;
    RequestId nextId_ = 1;
    std::map<RequestId, ports::Scheduler::TaskId> tasks_;
};

}  // namespace nms::testing
