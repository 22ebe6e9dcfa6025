#include "engine/TransferCap.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

const size_t kPiece = CTransferCap::kPieceBytes;
const uint64_t kMiB = 1024 * 1024;
const uint64_t kGiB = 1024 * kMiB;

// The byte at position i of every fake transfer.
char PatternByte(uint64_t i) { return static_cast<char>('a' + (i * 7 + i / 26) % 26); }

// One step of a fake transfer's data: a read that gives bytes with a status,
// done times times in a row.
struct Step {
    PieceRead status;
    size_t bytes;
    uint32_t times;
};

// Data that answers reads from a script of steps, as a network stream
// would; a read past the script fails. Fills the buffer with the pattern
// only when asked (the 4 GiB cases would spend their time there).
class FakeData {
public:
    FakeData(const std::vector<Step>& steps, bool fill)
        : m_steps(steps), m_step(0), m_done(0), m_position(0), m_reads(0), m_fill(fill) {}

    PieceRead Read(char* buffer, size_t size, size_t& got) {
        ++m_reads;
        if (m_step == m_steps.size())
            return PieceRead::kFailed;
        const Step& step = m_steps[m_step];
        got = step.bytes < size ? step.bytes : size;
        if (m_fill) {
            for (size_t i = 0; i < got; ++i)
                buffer[i] = PatternByte(m_position + i);
        }
        m_position += got;
        if (++m_done == step.times) {
            ++m_step;
            m_done = 0;
        }
        return step.status;
    }
    uint64_t Reads() const { return m_reads; }

private:
    std::vector<Step> m_steps;
    size_t m_step;
    uint32_t m_done;
    uint64_t m_position;
    uint64_t m_reads;
    bool m_fill;
};

// What reached the sink: its length, and whether it is the pattern's start.
struct Taken {
    uint64_t bytes = 0;
    bool inOrder = true;
};

struct CapCase {
    const char* what;
    uint64_t cap;
    std::vector<Step> steps;
    int pulls;  // notifications: Pull is called this often
    uint64_t refuseAfter;  // the sink refuses a piece that takes it past this
    // Expected:
    uint64_t taken, arrived, reads;
    bool ended, cut, failed;
};

const PieceRead kData = PieceRead::kData;
const PieceRead kPending = PieceRead::kPending;
const PieceRead kEnd = PieceRead::kEnd;
const PieceRead kFailed = PieceRead::kFailed;
const uint64_t kNever = UINT64_MAX;

void RunCase(const CapCase& c, bool fill) {
    FakeData data(c.steps, fill);
    CTransferCap cap(c.cap);
    Taken taken;
    for (int i = 0; i < c.pulls; ++i) {
        cap.Pull([&](char* buffer, size_t size, size_t& got) { return data.Read(buffer, size, got); },
                 [&](const char* bytes, size_t count) {
                     if (taken.bytes + count > c.refuseAfter)
                         return false;
                     if (fill) {
                         for (size_t j = 0; j < count && taken.inOrder; ++j)
                             taken.inOrder = bytes[j] == PatternByte(taken.bytes + j);
                     }
                     taken.bytes += count;
                     return true;
                 });
    }
    EXPECT_EQ(c.taken, taken.bytes) << c.what;
    EXPECT_TRUE(taken.inOrder) << c.what;
    EXPECT_EQ(c.arrived, cap.Arrived()) << c.what;
    EXPECT_EQ(c.reads, data.Reads()) << c.what;
    EXPECT_EQ(c.ended, cap.Ended()) << c.what;
    EXPECT_EQ(c.cut, cap.Cut()) << c.what;
    EXPECT_EQ(c.failed, cap.Failed()) << c.what;
    EXPECT_EQ(c.ended || c.cut || c.failed, cap.Done()) << c.what;
}

TEST(TransferCap, TakesUpToTheCapAndCutsTheTransferPastIt) {
    const uint64_t doc = kMiB;  // a document's cap
    const CapCase cases[] = {
        {"short document in pieces", doc, {{kData, 1000, 3}, {kEnd, 0, 1}}, 1, kNever,
         3000, 3000, 4, true, false, false},
        {"exactly the cap", doc, {{kData, kPiece, 64}, {kEnd, 0, 1}}, 1, kNever, doc, doc, 65,
         true, false, false},
        {"one byte past the cap", doc, {{kData, kPiece, 64}, {kData, 1, 1}, {kEnd, 0, 1}}, 1,
         kNever, doc, doc + 1, 65, false, true, false},
        {"without end: cut one piece past the cap, nothing more read", doc,
         {{kData, kPiece, 100000}}, 3, kNever, doc, doc + kPiece, 65, false, true, false},
        {"a piece that crosses the cap is kept up to the cap", 1000, {{kData, 600, 2}}, 1,
         kNever, 1000, 1200, 2, false, true, false},
        {"pending: the next notification goes on", doc,
         {{kData, 700, 1}, {kPending, 0, 1}, {kData, 300, 1}, {kEnd, 0, 1}}, 2, kNever, 1000,
         1000, 4, true, false, false},
        {"a read that gives nothing waits for the next notification", doc,
         {{kData, 700, 1}, {kData, 0, 1}, {kEnd, 0, 1}}, 2, kNever, 700, 700, 3, true, false,
         false},
        {"a failed read ends it; what came before was taken", doc,
         {{kData, 2000, 1}, {kFailed, 0, 1}, {kData, 10, 5}}, 3, kNever, 2000, 2000, 2, false,
         false, true},
        {"a refusing sink ends it", doc, {{kData, 1000, 10}}, 3, 2500, 2000, 3000, 3, false,
         false, true},
        {"a cap of nothing", 0, {{kData, 1, 1}}, 1, kNever, 0, 1, 1, false, true, false},
        {"the end comes with the last bytes; nothing is read after it", doc,
         {{kEnd, 10, 1}, {kData, 10, 5}}, 3, kNever, 10, 10, 1, true, false, false},
    };
    for (const CapCase& c : cases)
        RunCase(c, true);
}

// Installers are capped at 4 GiB or their signed size: the count must not
// wrap or stop at 2^32 - 1 bytes in a 32-bit program.
TEST(TransferCap, CountsPastFourGibibytes) {
    const uint32_t fourGiBPieces = static_cast<uint32_t>(4 * kGiB / kPiece);
    const CapCase cases[] = {
        {"an installer of exactly 4 GiB", 4 * kGiB, {{kData, kPiece, fourGiBPieces}, {kEnd, 0, 1}},
         1, kNever, 4 * kGiB, 4 * kGiB, fourGiBPieces + 1u, true, false, false},
        {"one byte past 4 GiB", 4 * kGiB,
         {{kData, kPiece, fourGiBPieces}, {kData, 1, 1}, {kEnd, 0, 1}}, 1, kNever, 4 * kGiB,
         4 * kGiB + 1, fourGiBPieces + 1u, false, true, false},
        {"a signed size past 4 GiB, and the byte after it", 4 * kGiB + 100,
         {{kData, kPiece, fourGiBPieces}, {kData, 101, 1}, {kData, 5, 1}}, 1, kNever,
         4 * kGiB + 100, 4 * kGiB + 101, fourGiBPieces + 1u, false, true, false},
    };
    for (const CapCase& c : cases)
        RunCase(c, false);
}

}  // namespace
