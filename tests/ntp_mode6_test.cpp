// NTP mode 6: the read-status request, and the checks, fragment gathering
// and decoding of ntpd's reply, against bytes that ntpd (ntpsec 1.2.2)
// sent on the loopback.
#include "ntp_mode6.h"

#include <gtest/gtest.h>

#include <cstring>
#include <ostream>
#include <string>

namespace
{

// The request ntpq sent for `associations`: leap indicator 3, version 2,
// mode 6, read-status, sequence 1, association 0, no data.
const uint8_t ntpq_request[] = {0xd6, 0x01, 0x00, 0x01, 0x00, 0x00,
                                0x00, 0x00, 0x00, 0x00, 0x00, 0x00};

// ntpd's replies to it. Synchronised to its one server (system status
// 0x0014, peer 17767 status 0xb61a: configured, authentic, reachable,
// system peer).
const uint8_t reply_synchronised[] = {0x16, 0x81, 0x00, 0x01, 0x00, 0x14, 0x00, 0x00,
                                      0x00, 0x00, 0x00, 0x04, 0x45, 0x67, 0xb6, 0x1a};
// With its clock discipline disabled: the server answers (peer status
// 0xb014, reachable, rejected) but ntpd never leaves leap indicator 3.
const uint8_t reply_reachable_unsynchronised[] = {0xd6, 0x81, 0x00, 0x01, 0xc0, 0x16, 0x00, 0x00,
                                                  0x00, 0x00, 0x00, 0x04, 0x45, 0x67, 0xb0, 0x14};
// With a server that never answers (peer status 0x8011: configured, not
// reachable).
const uint8_t reply_unreachable[] = {0xd6, 0x81, 0x00, 0x01, 0xc0, 0x16, 0x00, 0x00,
                                     0x00, 0x00, 0x00, 0x04, 0x45, 0x67, 0x80, 0x11};
// ntpd's reply to this library's own request, sequence 0xdd89, while
// synchronised.
const uint8_t reply_to_sequence_dd89[] = {0x16, 0x81, 0xdd, 0x89, 0x00, 0x14, 0x00, 0x00,
                                          0x00, 0x00, 0x00, 0x04, 0x45, 0x67, 0xb6, 0x1a};

const size_t max_datagram = 64;

// A datagram built for a case: bytes and length.
struct datagram {
    uint8_t bytes[max_datagram];
    size_t length;
};

// A copy of a captured reply.
template <size_t N> datagram copy_of(const uint8_t (&bytes)[N])
{
    static_assert(N <= max_datagram, "fixture too long");
    // Past the reply lie bytes that would read as a valid pair, so that only
    // the length received can tell that a count reaches beyond the reply.
    datagram d = {};
    std::memset(d.bytes, 0x5a, sizeof d.bytes);
    std::memcpy(d.bytes, bytes, N);
    d.length = N;
    return d;
}

// Writes a big-endian word into a datagram.
void set_word(datagram &d, size_t at, uint16_t value)
{
    d.bytes[at] = static_cast<uint8_t>(value >> 8);
    d.bytes[at + 1] = static_cast<uint8_t>(value & 0xff);
}

TEST(ReadstatRequest, IsNtpqRequestWithOurSequenceAndNoLeapBits)
{
    // ntpq sets the leap indicator of its requests to 3; ntpd ignores it,
    // and this library leaves it 0. All else matches but the sequence.
    for (const uint16_t sequence : {uint16_t{0x0001}, uint16_t{0xdd89}, uint16_t{0xffff}}) {
        uint8_t expected[readstat_request_length];
        std::memcpy(expected, ntpq_request, sizeof expected);
        expected[0] &= 0x3f;
        expected[2] = static_cast<uint8_t>(sequence >> 8);
        expected[3] = static_cast<uint8_t>(sequence & 0xff);

        uint8_t request[readstat_request_length];
        std::memset(request, 0xee, sizeof request);
        encode_readstat_request(sequence, request);
        EXPECT_EQ(0, std::memcmp(request, expected, sizeof expected)) << sequence;
    }
}

struct AnswerCase {
    const char *name;
    datagram reply;
    uint16_t sequence;
    bool reachable;
    bool synchronised;
    leap_indicator leap;
};

void PrintTo(const AnswerCase &c, std::ostream *out)
{
    *out << c.name;
}

// The real replies, and the real synchronised reply with a leap second
// announced or an authenticator after its data.
datagram with_system_status(uint16_t status)
{
    datagram d = copy_of(reply_synchronised);
    set_word(d, 4, status);
    return d;
}

datagram with_authenticator()
{
    // A key id and a 16-byte digest follow the padded data.
    datagram d = copy_of(reply_synchronised);
    for (size_t i = 0; i < 20; ++i)
        d.bytes[d.length + i] = static_cast<uint8_t>(0xa0 + i);
    d.length += 20;
    return d;
}

const AnswerCase answer_cases[] = {
    {"Synchronised", copy_of(reply_synchronised), 1, true, true, leap_none},
    {"ReachableNotSynchronised", copy_of(reply_reachable_unsynchronised), 1, true, false,
     leap_unsynchronised},
    {"Unreachable", copy_of(reply_unreachable), 1, false, false, leap_unsynchronised},
    {"AnswerToOurOwnSequence", copy_of(reply_to_sequence_dd89), 0xdd89, true, true, leap_none},
    {"InsertionAnnounced", with_system_status(0x4014), 1, true, true, leap_insert},
    {"DeletionAnnounced", with_system_status(0x8014), 1, true, true, leap_delete},
    {"AuthenticatorAfterData", with_authenticator(), 1, true, true, leap_none},
};

class ReadstatAnswer : public testing::TestWithParam<AnswerCase>
{
};

TEST_P(ReadstatAnswer, GivesTheDaemonView)
{
    const AnswerCase &c = GetParam();
    readstat_assembly assembly;
    readstat_assembly_start(assembly, c.sequence);
    ASSERT_TRUE(readstat_assembly_take(assembly, c.reply.bytes, c.reply.length));
    ASSERT_TRUE(readstat_assembly_done(assembly));
    ASSERT_FALSE(assembly.refused);

    daemon_view view = {};
    view_from_readstat(assembly, view);
    EXPECT_EQ(view.presence, daemon_answered);
    EXPECT_EQ(view.source_reachable, c.reachable);
    EXPECT_EQ(view.synchronised, c.synchronised);
    EXPECT_EQ(view.leap, c.leap);
}

INSTANTIATE_TEST_SUITE_P(Replies, ReadstatAnswer, testing::ValuesIn(answer_cases),
                         [](const testing::TestParamInfo<AnswerCase> &info) {
                             return std::string(info.param.name);
                         });

struct RejectCase {
    const char *name;
    datagram reply;
};

void PrintTo(const RejectCase &c, std::ostream *out)
{
    *out << c.name;
}

// The real synchronised reply with one thing wrong.
datagram cut_to(size_t length)
{
    datagram d = copy_of(reply_synchronised);
    d.length = length;
    return d;
}

datagram with_byte(size_t at, uint8_t value)
{
    datagram d = copy_of(reply_synchronised);
    d.bytes[at] = value;
    return d;
}

datagram with_word(size_t at, uint16_t value)
{
    datagram d = copy_of(reply_synchronised);
    set_word(d, at, value);
    return d;
}

datagram more_without_data()
{
    datagram d = cut_to(mode6_header_length);
    d.bytes[1] = 0xa1;
    set_word(d, 10, 0);
    return d;
}

const RejectCase reject_cases[] = {
    {"Empty", cut_to(0)},
    {"ShortHeader", cut_to(11)},
    {"ServerMode", with_byte(0, 0x14)},
    {"VersionZero", with_byte(0, 0x06)},
    {"VersionFive", with_byte(0, 0x2e)},
    {"NoResponseBit", with_byte(1, 0x01)},
    {"ReadVariablesOpcode", with_byte(1, 0x82)},
    {"OtherSequence", with_word(2, 0x0002)},
    {"OtherAssociation", with_word(6, 0x4567)},
    {"CountLargerThanData", with_word(10, 8)},
    {"CountBeyondDatagram", with_word(10, 0xfffc)},
    {"CountHalfAPair", with_word(10, 2)},
    {"CountOdd", with_word(10, 3)},
    {"OffsetInsideAPair", with_word(8, 2)},
    {"AssociationIdZero", with_word(12, 0)},
    {"MoreBitWithoutData", more_without_data()},
};

class ReadstatReject : public testing::TestWithParam<RejectCase>
{
};

TEST_P(ReadstatReject, IsNoFragmentAndLeavesTheAssemblyAlone)
{
    const RejectCase &c = GetParam();
    readstat_fragment fragment;
    EXPECT_FALSE(decode_readstat_fragment(c.reply.bytes, c.reply.length, 1, &fragment));

    readstat_assembly assembly;
    readstat_assembly_start(assembly, 1);
    const readstat_assembly before = assembly;
    EXPECT_FALSE(readstat_assembly_take(assembly, c.reply.bytes, c.reply.length));
    EXPECT_EQ(0, std::memcmp(&before, &assembly, sizeof assembly));
    EXPECT_FALSE(readstat_assembly_done(assembly));
}

INSTANTIATE_TEST_SUITE_P(Replies, ReadstatReject, testing::ValuesIn(reject_cases),
                         [](const testing::TestParamInfo<RejectCase> &info) {
                             return std::string(info.param.name);
                         });

TEST(ReadstatRefusal, ErrorResponseEndsTheWaitWithoutAnAnswer)
{
    // ntpd sets the error bit, with its error code in the status word
    // (here 1, "unknown opcode"), when it refuses a request.
    datagram refusal = cut_to(mode6_header_length);
    refusal.bytes[1] = 0xc1;
    set_word(refusal, 4, 0x0100);
    set_word(refusal, 10, 0);

    readstat_fragment fragment;
    ASSERT_TRUE(decode_readstat_fragment(refusal.bytes, refusal.length, 1, &fragment));
    EXPECT_TRUE(fragment.error);

    readstat_assembly assembly;
    readstat_assembly_start(assembly, 1);
    EXPECT_TRUE(readstat_assembly_take(assembly, refusal.bytes, refusal.length));
    EXPECT_TRUE(assembly.refused);
    EXPECT_TRUE(readstat_assembly_done(assembly));

    // An error response to another request is passed over like any other.
    set_word(refusal, 2, 7);
    readstat_assembly_start(assembly, 1);
    EXPECT_FALSE(readstat_assembly_take(assembly, refusal.bytes, refusal.length));
    EXPECT_FALSE(assembly.refused);
}

// One fragment of a reply as ntpd would send it: sequence 1, the given
// system status, data offset, and pairs associations with ids from 1, the
// one at reachable_at (if any) reachable.
struct fragment_step {
    bool more;
    uint16_t system_status;
    uint16_t offset;
    uint16_t pairs;
    int reachable_at; // -1 for none
    bool taken;       // what the assembly should say of it
};

datagram fragment_of(const fragment_step &step)
{
    datagram d = {};
    d.bytes[0] = 0x16;
    d.bytes[1] = static_cast<uint8_t>(0x81 | (step.more ? 0x20 : 0));
    set_word(d, 2, 1);
    set_word(d, 4, step.system_status);
    set_word(d, 8, step.offset);
    // The cases hold a few pairs each; the datagram has room for 13.
    const uint16_t max_pairs = (max_datagram - mode6_header_length) / 4;
    const uint16_t pairs = step.pairs < max_pairs ? step.pairs : max_pairs;
    set_word(d, 10, static_cast<uint16_t>(pairs * 4));
    for (uint16_t i = 0; i < pairs; ++i) {
        const size_t at = mode6_header_length + 4u * i;
        set_word(d, at, static_cast<uint16_t>(step.offset / 4 + i + 1));
        set_word(d, at + 2,
                 static_cast<int>(i) == step.reachable_at ? uint16_t{0x9014} : uint16_t{0x8011});
    }
    d.length = mode6_header_length + 4u * pairs;
    return d;
}

struct GatherCase {
    const char *name;
    fragment_step steps[4];
    size_t step_count;
    bool done;
    bool reachable;
};

void PrintTo(const GatherCase &c, std::ostream *out)
{
    *out << c.name;
}

const uint16_t unsynced = 0xc016;
const uint16_t synced = 0x0014;

const GatherCase gather_cases[] = {
    {"OneFragmentNoAssociations", {{false, unsynced, 0, 0, -1, true}}, 1, true, false},
    {"TwoInOrder",
     {{true, unsynced, 0, 4, -1, true}, {false, unsynced, 16, 1, -1, true}},
     2,
     true,
     false},
    {"TwoReversed",
     {{false, unsynced, 16, 1, -1, true}, {true, unsynced, 0, 4, -1, true}},
     2,
     true,
     false},
    {"ReachableInLastFoundLast",
     {{true, synced, 0, 4, -1, true}, {false, synced, 16, 2, 1, true}},
     2,
     true,
     true},
    {"ReachableInFirstSuffices", {{true, synced, 0, 4, 2, true}}, 1, true, true},
    {"MiddleMissing",
     {{true, unsynced, 0, 2, -1, true}, {false, unsynced, 16, 2, -1, true}},
     2,
     false,
     false},
    {"SameFragmentTwice",
     {{true, unsynced, 0, 2, -1, true},
      {true, unsynced, 0, 2, -1, true},
      {false, unsynced, 8, 2, -1, true}},
     3,
     true,
     false},
    {"Overlapping",
     {{true, unsynced, 0, 4, -1, true}, {false, unsynced, 8, 4, -1, false}},
     2,
     false,
     false},
    {"PastTheEnd",
     {{false, unsynced, 8, 1, -1, true}, {true, unsynced, 12, 1, -1, false}},
     2,
     false,
     false},
    {"EndBeforeTakenData",
     {{true, unsynced, 8, 2, -1, true}, {false, unsynced, 0, 1, -1, false}},
     2,
     false,
     false},
    {"SecondEnd",
     {{false, unsynced, 8, 1, -1, true},
      {false, unsynced, 0, 2, -1, false},
      {true, unsynced, 0, 2, -1, true}},
     3,
     true,
     false},
    {"SystemStatusChanges",
     {{true, unsynced, 0, 2, -1, true}, {false, synced, 8, 1, -1, false}},
     2,
     false,
     false},
};

class ReadstatGather : public testing::TestWithParam<GatherCase>
{
};

TEST_P(ReadstatGather, TakesFittingFragmentsInAnyOrder)
{
    const GatherCase &c = GetParam();
    readstat_assembly assembly;
    readstat_assembly_start(assembly, 1);
    for (size_t i = 0; i < c.step_count; ++i) {
        const datagram d = fragment_of(c.steps[i]);
        EXPECT_EQ(readstat_assembly_take(assembly, d.bytes, d.length), c.steps[i].taken)
            << "fragment " << i;
    }
    EXPECT_EQ(readstat_assembly_done(assembly), c.done);
    EXPECT_EQ(assembly.any_reachable, c.reachable);
}

INSTANTIATE_TEST_SUITE_P(Fragments, ReadstatGather, testing::ValuesIn(gather_cases),
                         [](const testing::TestParamInfo<GatherCase> &info) {
                             return std::string(info.param.name);
                         });

TEST(ReadstatGather, HoldsNoMoreFragmentsThanItHasRoomFor)
{
    readstat_assembly assembly;
    readstat_assembly_start(assembly, 1);
    for (size_t i = 0; i < readstat_max_fragments; ++i) {
        const datagram d = fragment_of({true, unsynced, static_cast<uint16_t>(4 * i), 1, -1, true});
        ASSERT_TRUE(readstat_assembly_take(assembly, d.bytes, d.length)) << i;
    }
    const uint16_t end = static_cast<uint16_t>(4 * readstat_max_fragments);
    const datagram last = fragment_of({false, unsynced, end, 1, -1, false});
    EXPECT_FALSE(readstat_assembly_take(assembly, last.bytes, last.length));
    EXPECT_FALSE(readstat_assembly_done(assembly));
}

} // namespace
