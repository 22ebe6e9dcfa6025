#pragma once

#include <cstddef>
#include <cstdint>

// What one read from a transfer's data gave: bytes (kData), nothing for now
// but more to come (kPending), the end of the data (kEnd), or a failure.
// Bytes a read returns count whatever it says.
enum class PieceRead { kData, kPending, kEnd, kFailed };

// How much of one transfer is taken. The data is read as it arrives and
// counted, 64 bits wide so that a cap of 4 GiB or more holds in a 32-bit
// program; once more than the cap has arrived the transfer is cut: nothing
// past the cap is handed on, and nothing more is read. So what a server
// sends without end costs at most the cap and one piece. Portable.
class CTransferCap {
public:
    // Bytes are read in pieces of this size.
    static const size_t kPieceBytes = 16384;

    explicit CTransferCap(uint64_t maxBytes);

    // Reads pieces until the data has nothing more for now, ends or fails,
    // more than the cap has arrived, or sink refuses a piece; hands sink the
    // bytes that lie within the cap, in order. Reads nothing once Done().
    // read: PieceRead(char* buffer, size_t size, size_t& got), got at most
    // size. sink: bool(const char* bytes, size_t count), false to end.
    template <typename Read, typename Sink>
    void Pull(Read read, Sink sink) {
        char piece[kPieceBytes];
        while (!Done()) {
            size_t got = 0;
            PieceRead status = read(piece, sizeof piece, got);
            if (got > sizeof piece)
                got = 0;  // a source that breaks its contract gives nothing
            const size_t within = Admit(got);
            if (within > 0 && !sink(piece, within)) {
                m_failed = true;
                return;
            }
            if (m_cut)
                return;
            if (status == PieceRead::kEnd)
                m_ended = true;
            else if (status == PieceRead::kFailed)
                m_failed = true;
            else if (status == PieceRead::kPending || got == 0)
                return;  // more when the data says so
        }
    }

    // Bytes that arrived so far, those past the cap included.
    uint64_t Arrived() const { return m_arrived; }
    // The data ended within the cap.
    bool Ended() const { return m_ended; }
    // More than the cap arrived.
    bool Cut() const { return m_cut; }
    // A read failed, or sink refused a piece.
    bool Failed() const { return m_failed; }
    // Nothing more is read: ended, cut or failed.
    bool Done() const { return m_ended || m_cut || m_failed; }

private:
    // Counts count bytes that arrived; how many of them, from the first,
    // lie within the cap. Sets m_cut once the cap is passed.
    size_t Admit(size_t count);

    uint64_t m_maxBytes;
    uint64_t m_arrived;
    bool m_ended;
    bool m_cut;
    bool m_failed;
};
