#pragma once

// How a fetch or a download ended. The outcome says what the caller may do
// with what arrived; the cause says why a transfer was given up or refused,
// since each cause has a log record of its own.

enum class TransferOutcome {
    // The document arrived, with a success status where the address has
    // one (how much of it counts is the transfer's: Download.h).
    kSucceeded,
    // No document: no connection, an error answer, a store that failed.
    kFailed,
    // The server stopped sending, or sent too slowly, and the transfer was
    // abandoned; its server is not asked again in this check.
    kGivenUp,
    // Never asked for.
    kRefused,
};

enum class TransferCause {
    // Succeeded or failed: nothing more to say.
    kNone,
    // Given up: nothing arrived for the no-progress limit (WaitLimits.h).
    kNoProgress,
    // Given up: a document or an installer not whole within its time, or an
    // installer that fell below its least rate (WaitLimits.h).
    kTooSlow,
    // Failed: a download longer than its cap; nothing of it is kept.
    kTooLong,
    // Refused: a transfer from the same server was given up earlier in this
    // check.
    kServerGivenUp,
};

struct TransferResult {
    TransferOutcome outcome = TransferOutcome::kFailed;
    TransferCause cause = TransferCause::kNone;

    bool Succeeded() const { return outcome == TransferOutcome::kSucceeded; }
};
