// SPDX-License-Identifier: GPL-3.0-or-later
// The carrier faults on a clock of the test's own: when each answer byte may leave the
// simulator, written down from the switches' definitions and compared with what the queue
// hands out millisecond by millisecond.
#include "answer_queue.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

namespace ktx::sim {
namespace {

using Clock = AnswerQueue::Clock;
using std::chrono::milliseconds;

struct Push {
    int atMs;
    const char* bytes;
};

// What left the queue at one millisecond.
struct Arrival {
    int atMs;
    std::string bytes;
    bool operator==(const Arrival&) const = default;
};

void PrintTo(const Arrival& a, std::ostream* out) {
    *out << a.atMs << "ms:\"" << a.bytes << "\"";
}

struct PacingCase {
    const char* name;
    FaultSwitches faults;
    std::vector<Push> pushes;
    std::vector<Arrival> expected;
    int droppedAtMs;  // -1: the queue never asks for the hang-up
};

class AnswerQueueTest : public testing::TestWithParam<PacingCase> {};

TEST_P(AnswerQueueTest, BytesLeaveWhenTheSwitchesSay) {
    const PacingCase& c = GetParam();
    FaultSwitches faults = c.faults;
    AnswerQueue queue(faults);
    const Clock::time_point start = Clock::now();
    std::vector<Arrival> arrivals;
    int droppedAt = -1;
    std::size_t next = 0;
    for (int ms = 0; ms <= 1000 && droppedAt < 0; ++ms) {
        const Clock::time_point now = start + milliseconds(ms);
        while (next < c.pushes.size() && c.pushes[next].atMs == ms) {
            queue.Push(c.pushes[next++].bytes, now);
        }
        std::string out;
        for (std::string_view due = queue.Due(now); !due.empty(); due = queue.Due(now)) {
            out += due;
            queue.Consumed(due.size(), now);
        }
        if (!out.empty()) {
            arrivals.push_back({ms, out});
        }
        if (queue.Dropped()) {
            droppedAt = ms;
        } else if (const auto due = queue.NextDue()) {
            EXPECT_GT(*due, now) << "announced as due, yet held back at " << ms << " ms";
        }
    }
    EXPECT_EQ(arrivals, c.expected);
    EXPECT_EQ(droppedAt, c.droppedAtMs);
}

FaultSwitches With(int delayMs, int dripMs, std::int64_t dropAfter = -1, bool closeMid = false) {
    FaultSwitches faults;
    faults.delayMs = delayMs;
    faults.dripMs = dripMs;
    faults.dropAfterBytes = dropAfter;
    faults.closeMidAnswer = closeMid;
    return faults;
}

INSTANTIATE_TEST_SUITE_P(
    Switches, AnswerQueueTest,
    testing::Values(
        PacingCase{"None", With(0, 0), {{0, "ID\n"}, {5, "42\n"}}, {{0, "ID\n"}, {5, "42\n"}}, -1},
        // Each answer is held from the moment it was produced, so a second question asked
        // while the first answer is still out gets its answer later again, in order.
        PacingCase{"LateAnswers",
                   With(100, 0),
                   {{0, "ID\n"}, {30, "42\n"}},
                   {{100, "ID\n"}, {130, "42\n"}},
                   -1},
        PacingCase{"Drip",
                   With(0, 10),
                   {{0, "ABC"}, {1, "D"}},
                   {{0, "A"}, {10, "B"}, {20, "C"}, {30, "D"}},
                   -1},
        PacingCase{"DelayThenDrip", With(50, 20), {{0, "AB"}}, {{50, "A"}, {70, "B"}}, -1},
        // The drop point falls inside the second answer (a block, say): the rest never goes.
        PacingCase{"DropInsideAnAnswer",
                   With(0, 0, 5),
                   {{0, "ID\n"}, {10, "#15ABCDE\n"}},
                   {{0, "ID\n"}, {10, "#1"}},
                   10},
        PacingCase{"DropWhileDripping", With(0, 10, 2), {{0, "ABC"}}, {{0, "A"}, {10, "B"}}, 10},
        PacingCase{"DropAtZeroHangsUpAtOnce", With(0, 0, 0), {{0, "ID\n"}}, {}, 0},
        // Half of the first answer of two bytes or more goes, then the line closes; a one-byte
        // answer before it passes whole.
        PacingCase{"CloseMidAnswer",
                   With(0, 0, -1, true),
                   {{0, "\n"}, {10, "#15ABCDE\n"}},
                   {{0, "\n"}, {10, "#15A"}},
                   10},
        PacingCase{"CloseMidWhileDripping",
                   With(0, 10, -1, true),
                   {{0, "1.5\n"}},
                   {{0, "1"}, {10, "."}},
                   10}),
    [](const testing::TestParamInfo<PacingCase>& info) { return info.param.name; });

TEST(AnswerQueueSwitchTest, ANewDropSwitchCountsFromWhenItIsSeen) {
    FaultSwitches faults;
    AnswerQueue queue(faults);
    const Clock::time_point now = Clock::now();
    queue.Push("0123456789", now);
    queue.Consumed(queue.Due(now).size(), now);
    faults.dropAfterBytes = 4;  // ten bytes have gone already; four more may go
    queue.Push("abcdefgh", now);
    EXPECT_EQ(queue.Due(now), "abcd");
    queue.Consumed(4, now);
    EXPECT_TRUE(queue.Dropped());
    EXPECT_EQ(queue.Held(), 4u);
    queue.Clear();
    EXPECT_TRUE(queue.Empty());
    EXPECT_EQ(queue.Held(), 0u);
}

}  // namespace
}  // namespace ktx::sim
