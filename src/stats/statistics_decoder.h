#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>

// Turning an element's statistics reply into figures and indicator states. Pure: no socket, no
// control, no clock of its own, so the statistics window, a plant monitor and a command-line
// tool all read a reply the same way.
namespace nms::stats {

// What the station keeps from the replies while it runs. The 32-bit counters are the element's
// figures as sent (signed); the alarm and Ethernet words hold a 16-bit word, or 65535 when the
// last reply did not carry one.
struct StatisticsRecord {
    std::int32_t UDP_Response_Tx_Frames_OK = 0;
    std::int32_t UDP_Response_Rx_Frames_OK = 0;
    std::int32_t UDP_Response_Tx_Frames_Err = 0;
    std::int32_t UDP_Response_Rx_Frames_Err = 0;
    float UDP_Response_Tx_Frames_Err_Ratio = 0;  // percent
    float UDP_Response_Rx_Frames_Err_Ratio = 0;  // percent
    std::int32_t UDP_Response_PTP_Sync_OK = 0;
    std::int32_t UDP_Response_PTP_Sync_Err = 0;
    std::int32_t UDP_Response_PTP_Sync_Value = 0;  // clock difference, ns
    // Measured delay plus additional latency, ns. Both are 32-bit fields, so the sum is kept
    // wide: it always equals what the window shows.
    std::int64_t UDP_Response_PTP_Sync_Latency = 0;
    std::int32_t UDP_Response_Additional_Latency = 0;  // ns
    std::int32_t UDP_Response_Rx_Audio_Frames_OK = 0;
    std::int32_t UDP_Response_Rx_Audio_Frames_Err = 0;
    float UDP_Response_Rx_Audio_Frames_Err_Ratio = 0;  // percent
    // Audio frame count and tick of the last rate computation (any decoder's reply).
    std::int32_t UDP_Response_Rx_Audio_Frames_OK_prev = 0;
    std::int32_t UDP_Response_OM_Alarms_List = 65535;
    std::int32_t UDP_Response_ETH_Status = 65535;
    std::uint32_t UDP_Response_Tick = 0;  // ms tick when the last reply was decoded
    std::uint32_t UDP_Response_Tick_prev = 0;

    bool operator==(const StatisticsRecord&) const = default;
};

enum class IndicatorState { Neutral, Red, Green };

// One status indicator: its colour, its tool tip and the caption it shows.
struct Indicator {
    IndicatorState state = IndicatorState::Neutral;
    std::string toolTip;
    std::string caption;
};

// What the reply alone does not say: the shown element's stored role, SFN flag and silence
// detector mode, and whether the main window shows it as a decoder.
struct ElementFacts {
    int role = 0;  // 1 encoder, 2 decoder
    int sfn = 0;
    int sdm = 0;  // 0 silence detector, 3 packet loss detector, others disabled
    bool shownAsDecoder = false;
};

// What the window shows after one reply. An empty optional leaves the label as it was.
struct StatisticsView {
    std::string txFramesOk, rxFramesOk, txFramesErr, rxFramesErr;
    // Only an SFN element reports PTP figures.
    std::optional<std::string> ptpSyncOk, ptpSyncErr, ptpClockDifference;
    // Only for an SFN element shown as a decoder.
    std::optional<std::string> ptpLatency;
    // The count, with " (rate pps)" when a rate was formed.
    std::string audioFramesOk;
    std::string audioFramesErr;
    Indicator audio, clock, pps, ethernet;
    // The 10 MHz problem code: present when the alarm list is shown, absent when it is hidden
    // (it keeps its text then).
    std::optional<std::string> alarmsList;
    // Audio frames per second, when it could be formed.
    std::optional<std::int64_t> audioFrameRate;
};

// The designed captions and the tool tip of an indicator whose state is not known.
inline constexpr const char* kCaptionAudio = " AUDIO ";
inline constexpr const char* kCaptionClock = " 10MHz ";
inline constexpr const char* kCaption1pps = " 1PPS ";
inline constexpr const char* kCaptionEthernet = " ETH ";
inline constexpr const char* kUnknownState = "Unknown state.";

// Decodes one reply of any length (fields beyond its end read as 0, words as not received) into
// `record` and returns what to show. `tickNow` is the millisecond tick count, wrapping at 2^32.
StatisticsView decodeStatistics(std::span<const std::uint8_t> reply, const ElementFacts& facts,
                                StatisticsRecord& record, std::uint32_t tickNow);

// One reply's figures by name, for every reader outside the window (the plant monitor, its
// metrics, the web service, nms-cli). What the element leaves out is absent: the PTP figures of
// an element without SFN, the measured delay of one not shown as a decoder, the additional
// latency of a reply too short to carry it, and an alarm or Ethernet word the reply lacked.
struct StatisticsReading {
    std::int32_t txFramesOk = 0, rxFramesOk = 0, txFrameErrors = 0, rxFrameErrors = 0;
    float txErrorRatio = 0, rxErrorRatio = 0;  // percent
    std::optional<std::int32_t> ptpSyncsOk, ptpSyncErrors, ptpClockDifferenceNs;
    std::optional<std::int64_t> ptpLatencyNs;
    std::optional<std::int32_t> additionalLatencyNs;
    std::int32_t audioFramesOk = 0, audioFrameErrors = 0;
    float audioErrorRatio = 0;  // percent
    std::optional<std::uint16_t> alarmWord, ethernetWord;
};

// The record as a reading for an element of these facts; `carriesAdditionalLatency` says
// whether the last reply was long enough to hold it.
StatisticsReading readingOf(const StatisticsRecord& record, const ElementFacts& facts,
                            bool carriesAdditionalLatency);

// The counters as JSON members ("tx_ok": 120, ...), named alike wherever the station writes
// them; `withRatiosAndLatency` adds the error ratios and the two latencies that nms-cli gives.
std::string readingJsonMembers(const StatisticsReading& reading, bool withRatiosAndLatency);
// Only a reply of at least this length carries the additional latency.
inline constexpr std::size_t kAdditionalLatencyMinLength = 57;

// The error-ratio percentage: err / (ok + err) x 100 to 2 decimals, halves to even; 0 when
// nothing was counted.
float errorRatio(std::int32_t ok, std::int32_t err);
// "3 (0.25%)": the error count and its ratio in shortest form.
std::string errorRatioText(std::int32_t err, float ratio);
// The audio frame rate between two replies, whole frames per second, halves to even; nothing
// when no time has passed or the count went back (the element's counters were reset).
std::optional<std::int64_t> frameRate(std::int32_t framesNow, std::int32_t framesBefore,
                                      std::uint32_t tickNow, std::uint32_t tickBefore);

// The element's counters as one line for the journal: "TX frames 120, errors 1; RX frames 80,
// errors 0; PTP syncs 12, errors 0; audio frames 900, errors 3".
std::string countersText(const StatisticsRecord& record);

}  // namespace nms::stats
