#pragma once
// Pauses of the retry loops that wait for another copy's byte-range or
// in-file lock, so that a waiting copy neither spins a core nor starves the
// copy that holds the lock.

// Before retry nAttempt of a single access: a few immediate tries, then
// sleeps growing to 2 ms.
void BackOffTry(int nAttempt);
// Between the rounds of a wait shown in a wait box: 1 ms doubling to 16 ms.
void BackOffWait(int nRound);
