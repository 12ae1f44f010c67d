#pragma once

// What the fuzz targets share: a reader of the fuzzer's bytes, a check that stops the run, and a
// whole station on the test fakes whose dialogs answer every box.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "ports/dialogs.h"
#include "support/station_on_fakes.h"

namespace nms::fuzz {

// A broken property ends the run where the fuzzer (or the replay) sees it.
inline void check(bool ok, const char* what) {
    if (ok) return;
    std::fprintf(stderr, "fuzz check failed: %s\n", what);
    __builtin_trap();
}

// Takes the fuzzer's input apart; past its end every read gives zeros.
class Bytes {
public:
    Bytes(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
    bool empty() const { return pos_ >= size_; }
    std::size_t left() const { return empty() ? 0 : size_ - pos_; }
    std::uint8_t byte() { return empty() ? 0 : data_[pos_++]; }
    bool flag() { return (byte() & 1) != 0; }
    std::uint16_t u16() {
        const std::uint16_t hi = byte();
        return static_cast<std::uint16_t>(hi << 8 | byte());
    }
    std::uint32_t u32() {
        const std::uint32_t hi = u16();
        return hi << 16 | u16();
    }
    // One of `n` choices (n > 0).
    std::size_t pick(std::size_t n) { return byte() % n; }
    std::vector<std::uint8_t> take(std::size_t n) {
        n = std::min(n, left());
        std::vector<std::uint8_t> out(data_ + pos_, data_ + pos_ + n);
        pos_ += n;
        return out;
    }
    std::vector<std::uint8_t> rest() { return take(left()); }

private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t pos_ = 0;
};

// Dialogs that answer every box at once, as an operator who agrees with everything would: Ok,
// Yes or Retry. An input box gets the text the driver chose (or is cancelled). While a box is
// "open", the driver may deliver events: they queue in the gate as they would behind a real box.
class PermissiveDialogs : public ports::Dialogs {
public:
    ports::Answer messageBox(const ports::MessageBox& box) override {
        ++boxes;
        texts.push_back(box.text);
        if (texts.size() > 64) texts.erase(texts.begin());
        if (whileOpen) whileOpen(box);
        switch (box.buttons) {
            case ports::MessageButtons::Ok:
            case ports::MessageButtons::OkCancel:
                return ports::Answer::Ok;
            case ports::MessageButtons::YesNo:
            case ports::MessageButtons::YesNoCancel:
                return ports::Answer::Yes;
            case ports::MessageButtons::RetryCancel:
                return ports::Answer::Retry;
        }
        return box.defaultButton;
    }
    std::optional<std::string> inputBox(const std::string&, const std::string&,
                                        const std::string&) override {
        ++inputs;
        return inputAnswer;
    }

    std::function<void(const ports::MessageBox&)> whileOpen;
    std::optional<std::string> inputAnswer;
    std::size_t boxes = 0;
    std::size_t inputs = 0;
    std::vector<std::string> texts;  // the last ones
};

// A main window on the fakes with a stored database, started, the notice dismissed.
struct Station : testing::StationOnFakes<PermissiveDialogs> {
    static constexpr const char* kDb = "/fuzz/nms.ini";

    explicit Station(const std::string& database) {
        files.editExternally(kDb, database);
        testing::StationOptions options;
        options.databasePath = kDb;
        create(options);
        load();
    }
    std::string file() { return StationOnFakes::file(std::string()); }
};

}  // namespace nms::fuzz
