// Test doubles for the session: a scripted port, and a timeline that is the sink, prompt and
// sleeper, so tests can check the order of everything the session does. Used by one thread at
// a time (a worker's records are read only after it has been joined).
#pragma once

#include <array>
#include <cstdint>
#include <deque>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "serial/serial_port.h"
#include "session/messages.h"
#include "session/operator_prompt.h"
#include "session/session_sink.h"
#include "session/sleeper.h"

namespace pelorin::testing {

struct Event {
    enum Kind { Write, Sleep, Open, Close, Post, Prompt, Beep } kind = Write;
    std::vector<uint8_t> bytes;     // Write
    unsigned ms = 0;                // Sleep; the port number of an Open
    std::string text;               // Open settings, Prompt text
    std::array<int64_t, 3> post{};  // id, w, l
};

// The session's sink, prompt and sleeper in one, recording everything in order.
class Timeline final : public ISessionSink, public IOperatorPrompt, public ISleeper {
  public:
    std::vector<Event> events;

    void Post(uint32_t id, uint64_t w, int64_t l) override {
        Add(Event::Post).post = {int64_t(id), int64_t(w), l};
    }
    void Beep() override { Add(Event::Beep); }
    PromptAnswer Show(const PromptRequest& r) override {
        Add(Event::Prompt).text = r.caption + ": " + r.text;
        return PromptAnswer::Ok;
    }
    void SleepMs(unsigned ms) override { Add(Event::Sleep).ms = ms; }

    // One field of every event of a kind, in order.
    template <class T>
    std::vector<T> Of(Event::Kind kind, T Event::*field) const {
        std::vector<T> out;
        for (const Event& e : events)
            if (e.kind == kind) out.push_back(e.*field);
        return out;
    }
    std::vector<std::array<int64_t, 3>> Posts() const { return Of(Event::Post, &Event::post); }
    std::vector<std::string> Prompts() const { return Of(Event::Prompt, &Event::text); }
    // Every byte written, in order.
    std::vector<uint8_t> Written() const {
        std::vector<uint8_t> out;
        for (const auto& bytes : Of(Event::Write, &Event::bytes))
            out.insert(out.end(), bytes.begin(), bytes.end());
        return out;
    }
    void Clear() { events.clear(); }
    Event& Add(Event::Kind kind) {
        events.emplace_back().kind = kind;
        return events.back();
    }
};

class FakePort final : public ISerialPort {
  public:
    explicit FakePort(Timeline& t) : timeline_(t) {}
    bool Open(unsigned port, const char* settings) override {
        Event& e = timeline_.Add(Event::Open);
        e.ms = port;
        e.text = settings;
        open_ = port >= 1 && port <= 1024 && !refuse.count(port);
        return open_;
    }
    void Close() override {
        if (std::exchange(open_, false)) timeline_.Add(Event::Close);
    }
    bool IsOpen() const override { return open_; }
    unsigned Read(uint8_t* buffer, unsigned maxLength, unsigned) override {
        ++readCalls;
        if (reads.empty()) return 0;
        auto& next = reads.front();
        const unsigned n = std::min<unsigned>(maxLength, unsigned(next.size()));
        std::copy_n(next.begin(), n, buffer);
        next.erase(next.begin(), next.begin() + n);
        if (next.empty()) reads.pop_front();
        return n;
    }
    unsigned Write(const uint8_t* data, unsigned length) override {
        timeline_.Add(Event::Write).bytes.assign(data, data + length);
        return open_ ? length : 0;
    }
    // Each entry is what one Read hands out (split further when larger than the read).
    std::deque<std::vector<uint8_t>> reads;
    std::set<unsigned> refuse;  // port numbers whose open fails
    int readCalls = 0;

  private:
    Timeline& timeline_;
    bool open_ = true;
};

}  // namespace pelorin::testing
