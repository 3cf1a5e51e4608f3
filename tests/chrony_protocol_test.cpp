// chronyd's command protocol: our requests against the bytes chronyc sends,
// and the decoding and checking of the replies a real chronyd 4.3 sent.
#include "chrony_protocol.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

namespace
{

// The bytes a hex string stands for.
std::vector<uint8_t> bytes(const std::string &hex)
{
    std::vector<uint8_t> out;
    for (size_t i = 0; i + 1 < hex.size(); i += 2)
        out.push_back(static_cast<uint8_t>(std::stoi(hex.substr(i, 2), nullptr, 16)));
    return out;
}

// Exchanges of chronyc 4.3 with chronyd 4.3 on 127.0.0.1 port 323, taken with
// strace: a chronyd synchronised to a local server at stratum 8, and one
// whose only server never answered. Each is the request's sequence and the
// request and reply bytes.
struct captured {
    uint32_t sequence;
    const char *request;
    const char *reply;
};

const captured synced_tracking = {
    0xbfb745f8,
    "0601000000210000bfb745f80000000000000000000000000000000000000000000000000000000000000000"
    "0000000000000000000000000000000000000000000000000000000000000000000000000000000000000000"
    "00000000000000000000000000000000",
    // Header, then reference ID and address 127.0.0.1, stratum 9, leap 0.
    "06020000002100050000000000000000bfb745f800000000000000007f0000017f0000010000000000000000"
    "000000000001000000090000000000006b1c26ed0fd19f22dd00e136daa90f7cdaa90f7cfeec3475ccc738aa"
    "148950b8e0f4befce88c0b0afc81162d"};

const captured unsynced_tracking = {
    0x13778b59,
    "060100000021000013778b590000000000000000000000000000000000000000000000000000000000000000"
    "0000000000000000000000000000000000000000000000000000000000000000000000000000000000000000"
    "00000000000000000000000000000000",
    // No reference, stratum 0, leap 3.
    "0602000000210005000000000000000013778b59000000000000000000000000000000000000000000000000"
    "0000000000000000000000030000000000000000000000000000000000000000000000000000000000000000"
    "00000000048000000480000000000000"};

const captured synced_n_sources = {
    0xd76d42e7, "06010000000e0000d76d42e70000000000000000000000000000000000000000",
    // One source.
    "06020000000e00020000000000000000d76d42e7000000000000000000000001"};

const captured synced_source = {
    0x906edd51,
    "06010000000f0000906edd5100000000000000000000000000000000000000000000000000000000000000000000"
    "000000000000000000000000000000000000000000000000000000000000",
    // Source 127.0.0.1, poll -2, stratum 8, selected, client, reach 0o17.
    "06020000000f00030000000000000000906edd5100000000000000007f0000010000000000000000000000000001"
    "0000fffe0008000000000000000f00000000dae42b8ed6ec7486defeb3f2"};

const captured unsynced_source = {
    0xc754d459,
    "06010000000f0000c754d45900000000000000000000000000000000000000000000000000000000000000000000"
    "000000000000000000000000000000000000000000000000000000000000",
    // Source 127.0.0.1, poll 0, stratum 0, not selectable, client, reach 0.
    "06020000000f00030000000000000000c754d45900000000000000007f0000010000000000000000000000000001"
    "0000000000000001000000000000ffffffff000000000000000000000000"};

// chronyd's answer to source_data for index 7 when it had one source: the
// short null reply (code 1) with status 4, no such source.
const captured missing_source = {0x11223344, nullptr,
                                 "06020000000f00010004000000000000112233440000000000000000"};

// Our requests: where chronyc's request had the same sequence and index, the
// bytes must be the same, padding included.
struct RequestCase {
    const char *name;
    chrony_command command;
    uint32_t sequence;
    uint32_t index;
    std::string expected;
};

void PrintTo(const RequestCase &c, std::ostream *out)
{
    *out << c.name;
}

const RequestCase request_cases[] = {
    {"TrackingAsChronycSendsIt", chrony_tracking, synced_tracking.sequence, 0,
     synced_tracking.request},
    {"NSourcesAsChronycSendsIt", chrony_n_sources, synced_n_sources.sequence, 0,
     synced_n_sources.request},
    {"FirstSourceAsChronycSendsIt", chrony_source_data, synced_source.sequence, 0,
     synced_source.request},
    // The index follows the header in network byte order; 52 bytes of
    // padding bring the request to the 76 bytes of its reply.
    {"LaterSourceIndexInNetworkOrder", chrony_source_data, 0x01020304, 0x0a0b0c0d,
     "06010000000f0000010203040000000000000000"
     "0a0b0c0d" +
         std::string(104, '0')},
};

class ChronyRequest : public testing::TestWithParam<RequestCase>
{
};

TEST_P(ChronyRequest, MatchesTheProtocolLayout)
{
    const RequestCase &c = GetParam();
    uint8_t out[chrony_request_capacity + 8];
    const size_t length = chrony_encode_request(c.command, c.sequence, c.index, out, sizeof out);
    EXPECT_EQ(std::vector<uint8_t>(out, out + length), bytes(c.expected));
}

TEST_P(ChronyRequest, NeedsRoomForItsPadding)
{
    const RequestCase &c = GetParam();
    const size_t needed = c.expected.size() / 2;
    std::vector<uint8_t> out(needed - 1);
    EXPECT_EQ(chrony_encode_request(c.command, c.sequence, c.index, out.data(), out.size()), 0u);
}

INSTANTIATE_TEST_SUITE_P(Requests, ChronyRequest, testing::ValuesIn(request_cases),
                         [](const testing::TestParamInfo<RequestCase> &info) {
                             return std::string(info.param.name);
                         });

// Decodes reply as the answer to command; the field read, widened, or -1
// when the decoder turns the reply away.
long long decode(chrony_command command, const std::vector<uint8_t> &reply, uint32_t sequence)
{
    leap_indicator leap;
    uint32_t count;
    uint8_t reachability;
    switch (command) {
    case chrony_tracking:
        return chrony_decode_tracking(reply.data(), reply.size(), sequence, &leap)
                   ? static_cast<long long>(leap)
                   : -1;
    case chrony_n_sources:
        return chrony_decode_n_sources(reply.data(), reply.size(), sequence, &count)
                   ? static_cast<long long>(count)
                   : -1;
    case chrony_source_data:
        return chrony_decode_source_data(reply.data(), reply.size(), sequence, &reachability)
                   ? static_cast<long long>(reachability)
                   : -1;
    }
    return -1;
}

// A reply of the real daemon, possibly altered, and what its decoder gives:
// the field's value, or -1 for a reply that is no answer.
struct ReplyCase {
    const char *name;
    chrony_command command;
    const captured *exchange;
    size_t keep;         // bytes of the reply kept; 0 keeps them all
    int at;              // the byte changed, or -1 for none
    uint8_t value;       // its new value
    int sequence_change; // added to the sequence the reply is checked against
    long long expected;
};

void PrintTo(const ReplyCase &c, std::ostream *out)
{
    *out << c.name;
}

const ReplyCase reply_cases[] = {
    // The real replies, as chronyd sent them.
    {"SynchronisedTracking", chrony_tracking, &synced_tracking, 0, -1, 0, 0, leap_none},
    {"UnsynchronisedTracking", chrony_tracking, &unsynced_tracking, 0, -1, 0, 0,
     leap_unsynchronised},
    {"OneSource", chrony_n_sources, &synced_n_sources, 0, -1, 0, 0, 1},
    {"SourceReachedInAllFourPolls", chrony_source_data, &synced_source, 0, -1, 0, 0, 017},
    {"SourceNeverReached", chrony_source_data, &unsynced_source, 0, -1, 0, 0, 0},
    // Leap status and reachability in the fields the protocol defines.
    {"LeapInsert", chrony_tracking, &synced_tracking, 0, 55, 1, 0, leap_insert},
    {"LeapDelete", chrony_tracking, &synced_tracking, 0, 55, 2, 0, leap_delete},
    {"ReachableOnlyInTheOldestPoll", chrony_source_data, &unsynced_source, 0, 59, 0x80, 0, 0x80},
    {"ManySources", chrony_n_sources, &synced_n_sources, 0, 28, 0x01, 0, 0x01000001},

    // Too short for the answer awaited.
    {"ShorterThanAHeader", chrony_tracking, &synced_tracking, 27, -1, 0, 0, -1},
    {"TrackingCutShort", chrony_tracking, &synced_tracking, 103, -1, 0, 0, -1},
    {"NSourcesCutShort", chrony_n_sources, &synced_n_sources, 31, -1, 0, 0, -1},
    {"SourceDataCutShort", chrony_source_data, &synced_source, 75, -1, 0, 0, -1},
    {"SourceDataHeaderOnly", chrony_source_data, &synced_source, 28, -1, 0, 0, -1},
    // Header fields that do not fit the request.
    {"ProtocolVersion5", chrony_tracking, &synced_tracking, 0, 0, 5, 0, -1},
    {"RequestPacketType", chrony_tracking, &synced_tracking, 0, 1, 1, 0, -1},
    {"ReservedByteSet", chrony_n_sources, &synced_n_sources, 0, 3, 1, 0, -1},
    {"OtherCommandEchoed", chrony_tracking, &synced_tracking, 0, 5, 0x22, 0, -1},
    {"SourceDataForNSources", chrony_n_sources, &synced_source, 0, -1, 0, 0, -1},
    {"NoSuchSource", chrony_source_data, &missing_source, 0, -1, 0, 0, -1},
    {"OtherReplyCode", chrony_source_data, &synced_source, 0, 7, 2, 0, -1},
    {"StatusNoSuchSource", chrony_source_data, &synced_source, 0, 9, 4, 0, -1},
    {"StatusHighByteSet", chrony_tracking, &synced_tracking, 0, 8, 1, 0, -1},
    {"SequenceOfAnotherRequest", chrony_tracking, &synced_tracking, 0, -1, 0, 1, -1},
    {"SequenceByteChanged", chrony_n_sources, &synced_n_sources, 0, 16, 0x57, 0, -1},
    // Values that chronyd never sends.
    {"LeapStatus4", chrony_tracking, &unsynced_tracking, 0, 55, 4, 0, -1},
    {"ReachabilityBeyondEightBits", chrony_source_data, &synced_source, 0, 58, 1, 0, -1},
};

class ChronyReply : public testing::TestWithParam<ReplyCase>
{
};

TEST_P(ChronyReply, DecodesOnlyTheAwaitedAnswer)
{
    const ReplyCase &c = GetParam();
    std::vector<uint8_t> reply = bytes(c.exchange->reply);
    if (c.keep != 0)
        reply.resize(c.keep);
    if (c.at >= 0) {
        ASSERT_LT(static_cast<size_t>(c.at), reply.size());
        reply[static_cast<size_t>(c.at)] = c.value;
    }
    const uint32_t sequence = c.exchange->sequence + static_cast<uint32_t>(c.sequence_change);
    EXPECT_EQ(decode(c.command, reply, sequence), c.expected);
}

INSTANTIATE_TEST_SUITE_P(Replies, ChronyReply, testing::ValuesIn(reply_cases),
                         [](const testing::TestParamInfo<ReplyCase> &info) {
                             return std::string(info.param.name);
                         });

TEST(ChronyReplyLength, BytesPastTheAnswerAreIgnored)
{
    // chronyc accepts a reply at least as long as its answer; so do we.
    std::vector<uint8_t> reply = bytes(unsynced_tracking.reply);
    reply.push_back(0);
    EXPECT_EQ(decode(chrony_tracking, reply, unsynced_tracking.sequence), leap_unsynchronised);
}

} // namespace
