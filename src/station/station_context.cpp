#include "station/station_context.h"

#include <algorithm>
#include <unordered_set>

#include "protocol/address.h"
#include "protocol/element_key.h"
#include "protocol/text.h"
#include "station/port_2978.h"
#include "store/element_record.h"
#include "store/ini_document.h"

namespace nms::station {

std::vector<std::string> StationContext::databaseSections() {
    std::vector<std::string> sections;
    if (db().fileExists(databasePath())) db().LoadIniSectionsLB(sections, databasePath());
    // A record given twice (its MAC in upper and lower case, a hand-edited file) is one element:
    // every read finds the first, so the second is never anything but its shadow.
    std::unordered_set<std::string> seen;
    std::erase_if(sections, [&](const std::string& s) { return !seen.insert(store::foldName(s)).second; });
    return sections;
}

class StationContext::FlushingDialogs : public ports::Dialogs {
public:
    FlushingDialogs(ports::Dialogs& inner, store::ProfileStore& db) : inner_(inner), db_(db) {}
    ports::Answer messageBox(const ports::MessageBox& box) override {
        db_.flush();
        if (!box.title.empty()) return inner_.messageBox(box);
        ports::MessageBox titled = box;
        titled.title = kApplicationTitle;
        return inner_.messageBox(titled);
    }
    std::optional<std::string> inputBox(const std::string& prompt, const std::string& title,
                                        const std::string& proposed) override {
        db_.flush();
        return inner_.inputBox(prompt, title.empty() ? std::string(kApplicationTitle) : title,
                               proposed);
    }
    std::optional<std::string> saveFileName(const SaveFile& request) override {
        db_.flush();
        return inner_.saveFileName(request);
    }

private:
    ports::Dialogs& inner_;
    store::ProfileStore& db_;
};

StationContext::StationContext(StationEnv& e)
    : env(e),
      dialogs_(std::make_unique<FlushingDialogs>(e.dialogs, e.db)),
      port2978_(std::make_unique<Port2978>()) {}

StationContext::~StationContext() = default;

std::string StationContext::setting(const settings::Key& key) const {
    return env.settings.getOr(settings::kApp, key.section, key.name, key.fallback);
}

long long StationContext::numberSetting(const settings::Key& key) const {
    long long fallback = 0, value = 0;
    protocol::text::parseInteger(key.fallback, fallback);
    if (!protocol::text::parseInteger(protocol::text::trim(setting(key)), value)) value = fallback;
    return key.low < key.high ? std::clamp(value, key.low, key.high) : value;
}

void StationContext::setSetting(const settings::Key& key, const std::string& value) {
    env.settings.set(settings::kApp, key.section, key.name, value);
}

ports::Dialogs& StationContext::dialogs() {
    return *dialogs_;
}

ports::Answer StationContext::msgBox(const std::string& text, ports::MessageIcon icon,
                                     ports::MessageButtons buttons, ports::Answer defaultButton,
                                     const std::string& title, const std::string& details) {
    return dialogs().messageBox({text, title, icon, buttons, defaultButton, details});
}

std::string StationContext::shownSection() const {
    return protocol::ElementKey(shownElementMac());
}

std::string StationContext::readShown(std::string_view key, std::string_view fallback) {
    return env.db.ReadFromINI(shownSection(), std::string(key), env.databasePath,
                              std::string(fallback));
}

void StationContext::writeShown(std::string_view key, const std::string& value) {
    env.db.WriteToINI(shownSection(), std::string(key), value, env.databasePath);
}

store::StoredElement StationContext::shownElement() {
    return store::readElementRecord(env.db, env.databasePath, shownSection());
}

std::string StationContext::shownElementAddress() {
    return readShown(store::record::kIp, "");
}

void StationContext::noteOperatorChange(const std::string& what, const std::string& from,
                                        const std::string& to) {
    if (!onOperatorChange || !hasShownElement()) return;
    onOperatorChange(shownElementMac(), protocol::text::trim(readShown(store::record::kName, "")),
                     what, from, to);
}

bool StationContext::acquireInstanceLock() {
    lockHeld_ = env.instanceLock.tryAcquire();
    if (lockHeld_ && env.afterInstanceLock) env.afterInstanceLock();
    return lockHeld_;
}

void StationContext::releaseInstanceLock() {
    if (lockHeld_) env.instanceLock.release();
    lockHeld_ = false;
}

void StationContext::endProgram(int status) {
    if (ended_) return;
    env.db.flush();
    ended_ = true;
    for (auto& stop : atEnd_) stop();
    releaseInstanceLock();
    env.gate.shutDown();
    env.lifecycle.exitProgram(status);
}

}  // namespace nms::station
