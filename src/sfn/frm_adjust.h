#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

#include "ports/controls.h"
#include "ports/signal.h"
#include "sfn/delay_reading.h"
#include "sfn/delay_history.h"
#include "station/element_socket.h"
#include "station/port_2978.h"
#include "station/station_context.h"

namespace nms::sfn {

// Latencies of the element's own interfaces; a decoder adds both to the network delay before
// the audio leaves it.
inline constexpr std::int32_t kMacLatencyNs = 265;
inline constexpr std::int32_t kAudioLatencyNs = 395833;
inline constexpr std::int64_t kFixedLatencyNs = kMacLatencyNs + kAudioLatencyNs;

// The SFN adjustment window ("SFN Adjustment - " + name): a decoder's network delay measured
// through PTP, its additional delay and automatic delay compensation, on a socket of its own
// (local and element port 2978). Modal over the main window while open; the object lives as
// long as the main window.
class frmAdjust {
public:
    explicit frmAdjust(station::StationContext& context);
    ~frmAdjust();

    ports::Form form{"frmAdjust"};
    ports::Label Frame1{"Frame1"};  // "Measurements:"
    ports::Label lblCapDelayMIN{"lblCapDelayMIN"}, lblCapDelayMAX{"lblCapDelayMAX"}, lblCapDelayAVG{"lblCapDelayAVG"};
    ports::Label lblCurrentDelayMIN{"lblCurrentDelayMIN"}, lblCurrentDelayMAX{"lblCurrentDelayMAX"},
        lblCurrentDelayAVG{"lblCurrentDelayAVG"};
    ports::Label lblCapFixedLatencyMAC{"lblCapFixedLatencyMAC"}, lblCapFixedLatencyAUDIO{"lblCapFixedLatencyAUDIO"};
    ports::Label lblFixedLatencyMAC{"lblFixedLatencyMAC"}, lblFixedLatencyAUDIO{"lblFixedLatencyAUDIO"};
    ports::Label lblCapDelaySumMIN{"lblCapDelaySumMIN"}, lblCapDelaySumMAX{"lblCapDelaySumMAX"},
        lblCapDelaySumAVG{"lblCapDelaySumAVG"};
    ports::Label lblDelaySumMIN{"lblDelaySumMIN"}, lblDelaySumMAX{"lblDelaySumMAX"}, lblDelaySumAVG{"lblDelaySumAVG"};
    ports::CheckBox chkAutoUpdate{"chkAutoUpdate"};  // "&Auto"
    ports::Button cmdRefresh{"cmdRefresh"};          // "&Refresh"
    ports::Button cmdResetStats{"cmdResetStats"};    // "&Clear"
    ports::Label Frame2{"Frame2"};                   // "Adjustments:"
    ports::Label lblCapAdditionalDelay{"lblCapAdditionalDelay"};  // "Latency compensation:"
    ports::ScrollBar scrlAdditionalDelay{"scrlAdditionalDelay"};
    ports::Label lblAdditionalDelay{"lblAdditionalDelay"};
    ports::CheckBox chkAutoServo{"chkAutoServo"};  // "Auto &delay compensation"
    ports::CheckBox chkAutoClear{"chkAutoClear"};  // "Auto clea&r counters"
    ports::Button cmdSet{"cmdSet"};                // "&Set"
    // Beyond the window as designed: a status line (a record without an address) and the
    // export of the delay history.
    ports::Label lblStatus{"lblStatus"};
    ports::Button cmdExport{"cmdExport"};  // "Export..."
    ports::Timer Timer1;  // 250 ms, once: the delayed counter reset after a set command
    ports::Timer Timer2;  // 1000 ms: auto refresh

    // --- Window state
    std::int32_t AdditionalDelay = 0;  // ns = scroll bar value x 100
    bool UnsavedParameters = false;
    std::int32_t UDP_Response_PTP_Propagation_Delay_Average = 0;
    std::int32_t UDP_Response_PTP_Propagation_Delay_Minimum = 0;
    std::int32_t UDP_Response_PTP_Propagation_Delay_Maximum = 0;
    double UDP_Response_PTP_Additional_Delay = 0;  // steps of 100 ns, limited to the bar's range
    std::uint8_t UDP_Response_PTP_Auto_Servo = 0;

    // The delay over time while the window is open.
    DelayHistory history;

    // Opens the window for the shown element (cmdAdjust_Click of the main window).
    void open();
    void Form_Load();
    // The operator closes the window.
    void Form_Unload();
    void cmdRefresh_Click();
    void cmdResetStats_Click();
    void cmdSet_Click();
    void chkAutoUpdate_Click();
    void chkAutoServo_Click();
    void chkAutoClear_Click();
    void scrlAdditionalDelay_Change();
    void Timer1_Timer();
    void Timer2_Timer();
    void udpClient3_DataArrival(const ports::Datagram& datagram);
    void UpdateAdditionalDelay();
    void DecodeDelays(std::span<const std::uint8_t> reply);
    void StopAutoRefresh();
    // The view asks where to save ("Export..."); it writes the files itself.
    std::function<void()> onExport;

    // Each whole reply of an SFN decoder once shown, its figures by name.
    ports::Signal<const DelayReading&> replied;
    // How the last request ended: Sent, or why it did not go out.
    station::ElementSocket::Result lastSend() const { return lastSend_; }

    ports::UdpClient& udpClient3() { return socket_.client(); }
    // What the view needs to export: the shown element's record, the clock, the dialogs.
    station::StationContext& context() { return context_; }
    bool isOpen() const { return form.shown(); }
    // Datagrams on the window's port that were not the shown element's reply (another sender,
    // or an answer still owed to the port's previous holder), since the window last opened.
    std::uint64_t ignoredReplies() const { return socket_.ignoredReplies(); }

private:
    void applyDesign();
    // True when the datagram left; a record without an address is said in lblStatus.
    bool send(std::span<const std::uint8_t> bytes);
    // The shown element is a DECODER whose record says it belongs to a single frequency network.
    bool isSfnDecoder();
    station::StationContext& context_;
    // Taken as the window opens, before it binds its port, and given back once it has closed
    // it (the socket goes first).
    station::Port2978Lease port_;
    station::ElementSocket socket_;
    // The delay the element has as far as the window knows (the record's until the element
    // answers, then its reply's, then the last set), for the journal's "from".
    std::string delayBefore_;
    station::ElementSocket::Result lastSend_ = station::ElementSocket::Result::Sent;
};

// The station's delay text: "1 mS, 0 uS, 0 nS", "395 uS, 833 nS", "265 nS", "-1 uS, 500 nS".
std::string FormatDelay(std::int32_t ns);

}  // namespace nms::sfn
