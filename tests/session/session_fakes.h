// Test doubles for the session: a scripted port, and a sink, prompt and sleeper that record
// into one timeline so tests can check the order of everything the session does.
#pragma once

#include <cstdint>
#include <deque>
#include <string>
#include <vector>

#include "serial/serial_port.h"
#include "session/messages.h"
#include "session/operator_prompt.h"
#include "session/session_sink.h"
#include "session/sleeper.h"

namespace pelorin::testing {

struct Event {
    enum Kind { Write, Sleep, Open, Close, Post, Prompt, Beep } kind = Write;
    std::vector<uint8_t> bytes;  // Write
    unsigned ms = 0;             // Sleep
    std::string text;            // Open settings, Prompt text
    uint32_t id = 0;             // Post
    uint64_t w = 0;
    int64_t l = 0;
};

class Timeline {
public:
    std::vector<Event> events;

    std::vector<Event> Of(Event::Kind kind) const {
        std::vector<Event> out;
        for (const Event& e : events)
            if (e.kind == kind) out.push_back(e);
        return out;
    }
    // The posts as (id, w, l) triples.
    std::vector<std::array<int64_t, 3>> Posts() const {
        std::vector<std::array<int64_t, 3>> out;
        for (const Event& e : Of(Event::Post))
            out.push_back({int64_t(e.id), int64_t(e.w), e.l});
        return out;
    }
    // Every byte written, in order.
    std::vector<uint8_t> Written() const {
        std::vector<uint8_t> out;
        for (const Event& e : Of(Event::Write)) out.insert(out.end(), e.bytes.begin(), e.bytes.end());
        return out;
    }
    void Clear() { events.clear(); }
    Event& Add(Event::Kind kind) {
        events.emplace_back();
        events.back().kind = kind;
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
        open_ = true;
        return true;
    }
    void Close() override {
        if (open_) timeline_.Add(Event::Close);
        open_ = false;
    }
    bool IsOpen() const override { return open_; }
    unsigned Read(uint8_t* buffer, unsigned maxLength, unsigned) override {
        if (reads.empty()) return 0;
        std::vector<uint8_t>& next = reads.front();
        unsigned n = std::min<unsigned>(maxLength, static_cast<unsigned>(next.size()));
        std::copy(next.begin(), next.begin() + n, buffer);
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

private:
    Timeline& timeline_;
    bool open_ = true;
};

class RecordingSink final : public ISessionSink {
public:
    explicit RecordingSink(Timeline& t) : timeline_(t) {}
    void Post(uint32_t id, uint64_t w, int64_t l) override {
        Event& e = timeline_.Add(Event::Post);
        e.id = id;
        e.w = w;
        e.l = l;
    }
    void Beep() override { timeline_.Add(Event::Beep); }

private:
    Timeline& timeline_;
};

class RecordingPrompt final : public IOperatorPrompt {
public:
    explicit RecordingPrompt(Timeline& t) : timeline_(t) {}
    PromptAnswer Show(const PromptRequest& r) override {
        timeline_.Add(Event::Prompt).text = r.caption + ": " + r.text;
        return PromptAnswer::Ok;
    }

private:
    Timeline& timeline_;
};

class RecordingSleeper final : public ISleeper {
public:
    explicit RecordingSleeper(Timeline& t) : timeline_(t) {}
    void SleepMs(unsigned ms) override { timeline_.Add(Event::Sleep).ms = ms; }

private:
    Timeline& timeline_;
};

}  // namespace pelorin::testing
