#pragma once

// A station home for nms-cli in the namespace tests: database, settings and lock of its own,
// never the machine's; and the waits and readers the tests share.

#include <QSettings>
#include <QString>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "net/netns_fixture.h"
#include "platform/udp_socket_qt.h"
#include "store/ini_document.h"

namespace nms::nettest {


// A station home of its own: database, settings and lock never touch the machine's.
class StationHome {
public:
    StationHome() {
        char tmpl[] = "/tmp/nms-net-station-XXXXXX";
        root_ = ::mkdtemp(tmpl);
        std::filesystem::create_directories(root_ + "/cfg/vantrelo-nms");
        std::filesystem::create_directories(root_ + "/run");
        std::filesystem::permissions(root_ + "/run", std::filesystem::perms::owner_all);
        setting("EULA1", "1");
    }
    ~StationHome() { std::filesystem::remove_all(root_); }
    void setting(const char* key, const std::string& value) {
        QSettings s(QString::fromStdString(root_ + "/cfg/vantrelo-nms/Kestrova.ini"), QSettings::IniFormat);
        s.setValue(QString("Vantrelo NG/") + key, QString::fromStdString(value));
        s.sync();
    }
    std::string database() const { return root_ + "/nms.ini"; }
    std::string command(const std::string& args) const {
        return "env HOME=" + root_ + " XDG_CONFIG_HOME=" + root_ + "/cfg XDG_RUNTIME_DIR=" + root_ +
               "/run NMS_DATABASE=" + database() + " " + NMS_CLI + " " + args + " >" + root_ + "/out.txt 2>" +
               root_ + "/err.txt";
    }
    // A program of the station started with this home, as an argument vector: /usr/bin/env,
    // the variables, the program.
    std::vector<std::string> argv(const std::string& program, std::vector<std::string> args) const {
        std::vector<std::string> argv{"/usr/bin/env",
                                      "QT_QPA_PLATFORM=offscreen",
                                      "HOME=" + root_,
                                      "XDG_CONFIG_HOME=" + root_ + "/cfg",
                                      "XDG_RUNTIME_DIR=" + root_ + "/run",
                                      "XDG_DATA_HOME=" + root_,
                                      "NMS_DATABASE=" + database(),
                                      program};
        argv.insert(argv.end(), args.begin(), args.end());
        return argv;
    }
    // The same through a shell that keeps the program's output in out.txt and err.txt.
    std::vector<std::string> argvWithOutput(const std::string& program,
                                            const std::vector<std::string>& args) const {
        std::string line = "exec";
        for (const auto& a : argv(program, args)) line += " '" + a + "'";
        line += " >" + root_ + "/out.txt 2>" + root_ + "/err.txt";
        return {"/bin/sh", "-c", line};
    }
    // A file of the home, as it is now.
    std::string file(const std::string& name) const {
        std::ifstream f(root_ + "/" + name);
        std::stringstream s;
        s << f.rdbuf();
        return s.str();
    }
    std::string output(const char* which = "out.txt") const { return file(which); }
    store::IniDocument records() const {
        std::ifstream f(database());
        std::stringstream s;
        s << f.rdbuf();
        return store::IniDocument::parse(s.str());
    }

private:
    std::string root_;
};

// Waits until every element daemon answers a paging request from the station's namespace.
inline bool daemonsReady(Testbed& bed, const std::vector<int>& indexes, int network = 1) {
    platform::QtUdpSocket probe;
    bool bound = false;
    // Another port than the station's: the station itself binds 2976 later.
    bed.inNamespace(bed.station(network).ns, [&] { bound = probe.bind(bed.station(network).ip, 2976); });
    if (!bound) return false;
    std::vector<std::string> seen;
    probe.onDatagram = [&](ports::Datagram d) { seen.push_back(d.senderAddress); };
    const std::string request = "IPMPXSTL KESTROVA PAGING REQUEST";
    const std::span<const std::uint8_t> bytes(reinterpret_cast<const std::uint8_t*>(request.data()), request.size());
    auto all = [&] {
        for (int i : indexes)
            if (std::find(seen.begin(), seen.end(), bed.element(i).ip) == seen.end()) return false;
        return true;
    };
    for (int attempt = 0; attempt < 20 && !all(); ++attempt) {
        probe.sendTo("255.255.255.255", 1901, bytes);
        // Behind a router a broadcast never arrives: each is asked at its own address.
        for (int i : indexes)
            if (bed.element(i).network != bed.station(network).network) probe.sendTo(bed.element(i).ip, 1901, bytes);
        nettest::spinUntil(all, 250);
    }
    probe.close();
    return all();
}

inline std::size_t keyCount(const store::IniDocument& doc, const std::string& section) {
    const auto* s = doc.find(section);
    return s ? s->entries.size() : 0;
}
inline std::string value(const store::IniDocument& doc, const std::string& section, const std::string& key) {
    const auto* e = doc.find(section, key);
    return e ? std::string(e->value()) : "<missing>";
}

}  // namespace nms::nettest
