#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "ports/controls.h"
#include "ports/signal.h"
#include "station/element_socket.h"
#include "station/port_2978.h"
#include "station/station_context.h"
#include "stats/statistics_decoder.h"

namespace nms::stats {

// The statistics window ("Status"): counters, PTP figures, alarm and link state of the shown
// element, on a socket of its own (local and element port 2978). Modal over the main window
// while open. The object lives as long as the main window, so the statistics record outlives
// the window and a change of the shown element.
class frmStatistics {
public:
    explicit frmStatistics(station::StationContext& context);
    ~frmStatistics();

    ports::Form form{"frmStatistics"};  // caption "Status"
    ports::Label frmStats{"frmStats"};  // "[DEVICE]", then name + ":"
    ports::Label lblCapMACTxOK{"lblCapMACTxOK"}, lblCapMACRxOK{"lblCapMACRxOK"},
        lblCapMACTxErr{"lblCapMACTxErr"}, lblCapMACRxErr{"lblCapMACRxErr"};
    ports::Label lblMACTxOK{"lblMACTxOK"}, lblMACRxOK{"lblMACRxOK"}, lblMACTxErr{"lblMACTxErr"},
        lblMACRxErr{"lblMACRxErr"};
    ports::Label lblCapPTPRxOK{"lblCapPTPRxOK"}, lblCapPTPRxErr{"lblCapPTPRxErr"},
        lblCapPTPClkAdj{"lblCapPTPClkAdj"}, lblCapPTPLatency{"lblCapPTPLatency"};
    ports::Label lblPTPRxOK{"lblPTPRxOK"}, lblPTPRxErr{"lblPTPRxErr"}, lblPTPClkAdj{"lblPTPClkAdj"},
        lblPTPLatency{"lblPTPLatency"};
    ports::Label lblCapAudioRxFramesOK{"lblCapAudioRxFramesOK"},
        lblCapAudioRxFramesErr{"lblCapAudioRxFramesErr"};
    ports::Label lblAudioRxFramesOK{"lblAudioRxFramesOK"},
        lblAudioRxFramesErr{"lblAudioRxFramesErr"};
    ports::Label lblAudio{"lblAudio"}, lblClock{"lblClock"}, lbl1PPS{"lbl1PPS"},
        lblEthernet{"lblEthernet"};
    ports::Label lblCapOMAlarmsList{"lblCapOMAlarmsList"};  // "Active alarms / status:"
    ports::Label lblOMAlarmsList{"lblOMAlarmsList"};
    ports::Button cmdRefreshStats{"cmdRefreshStats"};  // "&Refresh"
    ports::Button cmdResetStats{"cmdResetStats"};      // "&Clear"
    // Beyond the window as designed: a status line (a record without an address), automatic
    // refresh every second, and a plain-text copy of what the window shows.
    ports::Label lblStatus{"lblStatus"};
    ports::CheckBox chkAutoRefresh{"chkAutoRefresh"};
    ports::Button cmdCopy{"cmdCopy"};
    ports::Timer tmrAutoRefresh;

    // The figures in the window's order, each caption with its value.
    struct FigureRow {
        ports::Label& caption;
        ports::Label& figure;
    };
    std::array<FigureRow, 10> figureRows();

    // The statistics record, kept while the program runs.
    StatisticsRecord record;

    // Opens the window for the shown element (cmdGetStats_Click of the main window).
    void open();
    void Form_Load();
    void Form_Unload();
    void cmdRefreshStats_Click();
    void cmdResetStats_Click();
    void udpClient2_DataArrival(const ports::Datagram& datagram);
    void DecodeStatistics(std::span<const std::uint8_t> reply);
    // The window as plain text, for a fault report.
    std::string snapshotText();
    // Runs with the snapshot when the operator asked for a copy (the view puts it on the
    // clipboard).
    std::function<void(const std::string&)> onCopy;
    // Each reply of the shown element once decoded, its figures by name.
    ports::Signal<const StatisticsReading&> replied;
    // What the last decoded reply showed (nothing before the first), for the command line.
    const std::optional<StatisticsView>& lastView() const { return lastView_; }
    // How the shown element's record says its replies are read.
    ElementFacts shownElementFacts();

    // How the last request ended: Sent, or why it did not go out (the status line says it).
    station::ElementSocket::Result lastSend() const { return lastSend_; }

    ports::UdpClient& udpClient2() { return socket_.client(); }
    bool isOpen() const { return form.shown(); }
    // Datagrams on the window's port that were not the shown element's reply (another sender,
    // or an answer still owed to the port's previous holder), since the window last opened.
    std::uint64_t ignoredReplies() const { return socket_.ignoredReplies(); }

private:
    // Every figure and indicator as the window is designed, before any reply.
    void showNoFigures();
    bool send(std::string_view request);
    void applyIndicator(ports::Label& label, const Indicator& indicator);
    void applyView(const StatisticsView& view);
    station::StationContext& context_;
    // Taken as the window opens, before it binds its port, and given back once it has closed
    // it (the socket goes first).
    station::Port2978Lease port_;
    station::ElementSocket socket_;
    // The shown element's name as loaded, for the snapshot.
    std::string shownName_;
    std::optional<StatisticsView> lastView_;
    station::ElementSocket::Result lastSend_ = station::ElementSocket::Result::Sent;
};

}  // namespace nms::stats
