#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "ports/controls.h"
#include "ports/dialogs.h"
#include "protocol/audio_types.h"
#include "station/settings_keys.h"
#include "station/station_env.h"
#include "store/element_record.h"

namespace nms::station {

class Port2978;

// What every window of the station shares: the ports, the database, the start-up options, the
// chosen interface, the shown element and the one way to end the program. Windows take it by
// reference; the main window owns it.
class StationContext {
public:
    explicit StationContext(StationEnv& env);
    ~StationContext();
    StationContext(const StationContext&) = delete;
    StationContext& operator=(const StationContext&) = delete;

    StationEnv& env;

    // --- Shared state
    bool GpsdoVersion = false;
    bool LowLatencyOption = false;
    std::string strLocalNMSIPAddress = "0.0.0.0";
    protocol::AudioTypeTable AudioTypes;
    bool AutoDiscoverAwaiting = false;

    // --- Services
    ports::Scheduler& scheduler() { return env.scheduler; }
    ports::Clock& clock() { return env.clock; }
    ports::EventGate& gate() { return env.gate; }
    ports::SettingsStore& settingsStore() { return env.settings; }
    ports::Network& network() { return env.network; }
    store::ProfileStore& db() { return env.db; }
    const std::string& databasePath() const { return env.databasePath; }
    // The sections of the database in file order (one per element); none when there is no
    // database yet.
    std::vector<std::string> databaseSections();
    // Who holds port 2978, lent out to the windows and operations that need it.
    Port2978& port2978() { return *port2978_; }

    // A setting, or its declared fallback when it was never stored.
    std::string setting(const settings::Key& key) const;
    // A whole-number setting within its declared range: a stored value beyond it is taken at
    // the nearer end, one that is no whole number as the fallback.
    long long numberSetting(const settings::Key& key) const;
    void setSetting(const settings::Key& key, const std::string& value);

    // The dialogs every window uses: the database reaches the disk before a box opens (a box
    // may wait for long), and a box that names no title shows the application's.
    ports::Dialogs& dialogs();
    ports::Answer msgBox(const std::string& text, ports::MessageIcon icon,
                         ports::MessageButtons buttons = ports::MessageButtons::Ok,
                         ports::Answer defaultButton = ports::Answer::Ok,
                         const std::string& title = {}, const std::string& details = {});

    // --- The shown element: its MAC text ("-" for none), set by the editor as it shows an
    // element (its lblElementMAC mirrors it).
    void setShownElement(std::string mac) { shownMac_ = std::move(mac); }
    const std::string& shownElementMac() const { return shownMac_; }
    bool hasShownElement() const { return shownElementMac() != "-"; }
    // Its record section (element key) and the values stored there.
    std::string shownSection() const;
    std::string readShown(std::string_view key, std::string_view fallback);
    void writeShown(std::string_view key, const std::string& value);
    // Its whole record as typed values.
    store::StoredElement shownElement();
    // The address every request to the shown element goes to (record key ip; empty if none).
    std::string shownElementAddress();

    // --- What the operator changed on the shown element ("configuration saved", "level",
    // "SFN delay set", "counters reset"), for the event journal: what it was before (empty when
    // not known) and what it is now.
    void noteOperatorChange(const std::string& what, const std::string& from,
                            const std::string& to);
    std::function<void(const std::string& mac, const std::string& name, const std::string& what,
                       const std::string& from, const std::string& to)>
        onOperatorChange;

    // --- Ending
    // The instance lock, held from start-up to shutdown.
    bool acquireInstanceLock();
    void releaseInstanceLock();
    // Ends the program at once after an error, with a non-zero status: the database is flushed,
    // every registered stop runs (timers, sockets), and no further event is delivered.
    void endProgram(int status);
    bool ended() const { return ended_; }
    // Something to stop when the program ends; runs in registration order.
    void atEnd(std::function<void()> stop) { atEnd_.push_back(std::move(stop)); }

private:
    class FlushingDialogs;
    std::unique_ptr<FlushingDialogs> dialogs_;
    std::unique_ptr<Port2978> port2978_;
    std::string shownMac_ = "-";
    std::vector<std::function<void()>> atEnd_;
    bool ended_ = false;
    bool lockHeld_ = false;
};

}  // namespace nms::station
