#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "editor/configuration_exchange.h"
#include "editor/element_editor.h"
#include "editor/properties_panel.h"
#include "editor/save_configuration.h"
#include "plant/plant_backup.h"
#include "plant/source_record.h"
#include "ports/controls.h"
#include "station/element_socket.h"
#include "station/port_2978.h"
#include "station/station_context.h"

namespace nms::plant {

// A replacement unit set up in one step: a record's settings go into the shown element's editor
// as an operator's changes, the normal save follows (checks, confirmation with the list of
// changes, send, the element's confirmation), then the audio level and the SFN additional delay
// and servo, each with its own command, when the record holds them; and a summary of what was
// sent and what the element confirmed.
class ReplacementUnit {
public:
    static constexpr int kSettleMs = 100;
    static constexpr int kReplyTimeoutMs = 500;
    static constexpr int kDelayRequests = 3;

    struct Links {
        station::StationContext& context;
        editor::PropertiesPanel& panel;
        editor::ElementEditor& editor;
        editor::ConfigurationExchange& exchange;
        // "Save changes", as the toolbar's button runs it.
        std::function<void()> save;
    };

    struct Summary {
        std::string element, source;
        std::vector<std::string> changes;  // "Name: A → B"
        bool configurationSent = false, configurationConfirmed = false;
        // How the save ended; nothing when nothing had to be sent.
        std::optional<editor::ConfigurationExchange::SaveEnd> configurationEnd;
        std::string configuration;  // what became of it, in words
        std::optional<int> level;   // the record's level, when it holds one
        bool levelSent = false;
        std::string levelNote;
        std::optional<std::int64_t> delaySteps;  // the record's delay, when it holds one
        bool servo = false;
        bool delaySent = false, delayConfirmed = false;
        std::string delayNote;
        // Everything sent was confirmed (a level has no answer to confirm it).
        bool complete() const;
        std::string text() const;
    };

    explicit ReplacementUnit(Links links);
    ~ReplacementUnit();
    ReplacementUnit(const ReplacementUnit&) = delete;
    ReplacementUnit& operator=(const ReplacementUnit&) = delete;

    // Puts the record into the editor and saves. Empty when it went ahead; otherwise why not,
    // and nothing was changed (another role, the shown element's own record, a value the
    // element cannot take).
    std::string apply(const SourceRecord& source);
    bool busy() const { return state_ != State::Idle; }
    const Summary& summary() const { return summary_; }
    // Runs when the whole step has ended (the summary is complete).
    std::function<void()> onFinished;

private:
    enum class State { Idle, Probing, Saving, Delay };
    std::string proceed();
    std::string probeReplaced();
    void probeTimeout();
    void probeAnswered();
    void probeEnded(const std::string& why);
    void saveEnded(editor::ConfigurationExchange::SaveEnd end);
    void sendLevel(const SourceRecord& source);
    void sendDelay();
    void askDelay();
    void delayReply(const ports::Datagram& d);
    void delayTimeout();
    void finish();

    Links links_;
    State state_ = State::Idle;
    Summary summary_;
    std::optional<SourceRecord> source_;
    // Held while probing and while the delay goes out; given back after the socket has closed
    // (it goes first).
    station::Port2978Lease port_;
    station::ElementSocket socket_;
    ports::Timer timer_;
    std::string delayIp_;
    int delayAsked_ = 0;
    int probesSent_ = 0;
    std::string probedFor_;  // the shown element's MAC when the probe began
    std::optional<editor::OtherRecord> replaced_;
    std::shared_ptr<ReplacementUnit*> self_ = std::make_shared<ReplacementUnit*>(this);
};

}  // namespace nms::plant
