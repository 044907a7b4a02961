// SPDX-License-Identifier: GPL-3.0-or-later
// The simulator's ONC RPC layer against hand-assembled wire bytes: record marking across
// fragments and reads, call headers (well-formed, cut short, lying about their lengths) and
// the reply layout a client decodes.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "onc_rpc.h"

namespace ktx::sim::rpc {
namespace {

std::string Be(std::initializer_list<std::uint32_t> words) {
    std::string bytes;
    for (const std::uint32_t w : words) {
        bytes += static_cast<char>(w >> 24);
        bytes += static_cast<char>(w >> 16);
        bytes += static_cast<char>(w >> 8);
        bytes += static_cast<char>(w);
    }
    return bytes;
}

struct RecordCase {
    std::string name;
    std::vector<std::string> feeds;    // as the socket hands them over
    std::vector<std::string> records;  // what comes out, in order
    bool broken = false;               // the limit (64 bytes) was passed
};

void PrintTo(const RecordCase& c, std::ostream* os) {
    *os << c.name;
}

class RecordAssemblerTest : public ::testing::TestWithParam<RecordCase> {};

TEST_P(RecordAssemblerTest, JoinsFragmentsIntoRecords) {
    RecordAssembler assembler(64);
    std::vector<std::string> got;
    for (const std::string& feed : GetParam().feeds) {
        assembler.Feed(feed);
        while (auto record = assembler.Next()) {
            got.push_back(*record);
        }
    }
    EXPECT_EQ(got, GetParam().records);
    EXPECT_EQ(assembler.Broken(), GetParam().broken);
}

INSTANTIATE_TEST_SUITE_P(
    Wire, RecordAssemblerTest,
    ::testing::Values(
        RecordCase{"OneFragment", {Be({0x80000004}) + "abcd"}, {"abcd"}},
        RecordCase{"TwoFragments", {Be({0x00000002}) + "ab" + Be({0x80000003}) + "cde"}, {"abcde"}},
        RecordCase{"SplitEverywhere",
                   {std::string("\x80\x00", 2), std::string("\x00\x03x", 2 + 1), "yz"},
                   {"xyz"}},
        RecordCase{
            "TwoRecordsInOneRead", {Be({0x80000001}) + "a" + Be({0x80000002}) + "bc"}, {"a", "bc"}},
        RecordCase{"EmptyRecord", {Be({0x80000000})}, {""}},
        RecordCase{"FragmentBeyondTheLimit", {Be({0x80000041}) + "a"}, {}, true},
        RecordCase{"FragmentsAddingUpBeyondTheLimit",
                   {Be({0x00000030}) + std::string(48, 'a') + Be({0x80000020})},
                   {},
                   true}),
    [](const auto& info) { return info.param.name; });

// xid 7, CALL, RPC 2, program 0x0607AF version 1, procedure 11, AUTH_NONE credentials and
// verifier, then the arguments.
std::string CallHeader(std::uint32_t rpcVersion = 2) {
    return Be({7, 0, rpcVersion, 0x0607AF, 1, 11, 0, 0, 0, 0});
}

TEST(OncRpcTest, CallHeaderGivesProcedureAndArguments) {
    const std::string record = CallHeader() + Be({42});
    const auto call = ParseCall(record);
    ASSERT_TRUE(call);
    EXPECT_EQ(call->xid, 7u);
    EXPECT_EQ(call->program, 0x0607AFu);
    EXPECT_EQ(call->version, 1u);
    EXPECT_EQ(call->procedure, 11u);
    EXPECT_EQ(call->arguments, Be({42}));

    // AUTH_UNIX credentials with a body of 5 bytes, padded to 8.
    const std::string withUnixAuth =
        Be({7, 0, 2, 0x0607AF, 1, 12, 1, 5}) + std::string("host\0\0\0", 8) + Be({0, 0, 9});
    const auto withCredentials = ParseCall(withUnixAuth);
    ASSERT_TRUE(withCredentials);
    EXPECT_EQ(withCredentials->arguments, Be({9}));
}

TEST(OncRpcTest, MalformedCallsAreRefused) {
    const std::string header = CallHeader();
    for (std::size_t cut = 0; cut < header.size(); cut += 4) {
        EXPECT_FALSE(ParseCall(header.substr(0, cut))) << "cut at " << cut;
    }
    EXPECT_FALSE(ParseCall(CallHeader(3)));                               // RPC version 3
    EXPECT_FALSE(ParseCall(Be({7, 1, 2, 0x0607AF, 1, 11, 0, 0, 0, 0})));  // a reply
    EXPECT_FALSE(ParseCall(Be({7, 0, 2, 0x0607AF, 1, 11, 1, 401}) + std::string(404, 'x')));
    EXPECT_FALSE(ParseCall(Be({7, 0, 2, 0x0607AF, 1, 11, 1, 0xFFFFFFF0, 0, 0})));
}

TEST(OncRpcTest, XdrReaderNeverReadsPastItsBytes) {
    // The reader looks at bytes it does not own: each lives as long as its reader.
    const std::string cut = Be({3}) + "ab";  // opaque of 3 bytes with only 2 there
    XdrReader reader(cut);
    EXPECT_FALSE(reader.Opaque(100));
    const std::string tooLong = Be({3}) + "abc" + std::string(1, '\0');
    XdrReader limited(tooLong);
    EXPECT_FALSE(limited.Opaque(2));
    const std::string fineBytes = Be({3}) + "abc" + std::string(1, '\0') + Be({5});
    XdrReader fine(fineBytes);
    EXPECT_EQ(fine.Opaque(3), "abc");
    EXPECT_EQ(fine.Uint(), 5u);
    EXPECT_FALSE(fine.Uint());
}

TEST(OncRpcTest, RepliesAreSingleRecordsWithAcceptedStatus) {
    const std::string ok = Reply(7, Accept::Success, Be({0, 99}));
    EXPECT_EQ(ok, Be({0x80000000u | 32, 7, 1, 0, 0, 0, 0, 0, 99}));
    const std::string mismatch = Reply(8, Accept::ProgramMismatch, {}, 1, 1);
    EXPECT_EQ(mismatch, Be({0x80000000u | 32, 8, 1, 0, 0, 0, 2, 1, 1}));
}

}  // namespace
}  // namespace ktx::sim::rpc
