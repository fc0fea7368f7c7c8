#pragma once

#include <QtGlobal>

// Every bound the class service holds its clients and itself to, each with
// why it is what it is. The service is sized for a school of 5,000 students
// behind one NAT address, polling every 5 seconds, on one core. `serve` may
// change the connection limits and the class size (see its --help, whose
// defaults are these).
namespace kt::service::limits {

// --- A connection ---

// A request's body: a login form or a teacher's change is a few hundred
// bytes; a larger one is refused from its header alone, never buffered.
inline constexpr qint64 maxBodyBytes = 64 * 1024;
// A request's head (request line and headers).
inline constexpr qsizetype maxHeadBytes = 16 * 1024;
// A request's head and body, from its first byte, however slowly they come.
inline constexpr int requestTimeoutMs = 10'000;
// A kept-alive connection between requests: above the students' 5 s poll.
inline constexpr int idleTimeoutMs = 60'000;
// A student's connection through a front ends with its 120th status poll
// (10 minutes of polling), answered with "Connection: close": a front that
// balances connections then spreads the students again after an instance
// restarted, at one new connection each 10 minutes.
inline constexpr int pollsPerFrontConnection = 120;
// Open connections from one address (IPv6: per /64): a whole school behind
// one NAT address, each student with a stale and a fresh connection after a
// network blip, and the teachers' browsers.
inline constexpr int connectionsPerAddress = 12'000;
// Open connections in all: within the packaged unit's open-file limit of 65,536.
inline constexpr int connectionsInAll = 60'000;
// Connections over a cap being answered with a refusal; further ones are
// closed at once, unanswered.
inline constexpr int refusingAtOnce = 1'024;
// Descriptors the service keeps for itself (listener, database, log, event
// loop), taken from the open-file limit before the connections get theirs.
inline constexpr quint64 ownDescriptors = 64;
// After its answer a closing connection reads what still comes at most this
// long and this much, so that the client gets the answer rather than a reset.
inline constexpr int lingerMs = 5'000;
inline constexpr qint64 lingerBytes = 4 * 1024 * 1024;
// A whole school reconnecting at once: the kernel queues this many connections
// and a handshake may wait this long for the one core.
inline constexpr int listenBacklog = 16'384;
inline constexpr int handshakeTimeoutMs = 60'000;
// Handshakes started per turn of the event loop: at about a millisecond each,
// a turn stays short enough for polls and accepts to go on meanwhile.
inline constexpr int handshakesPerTurn = 32;
// Keys an attempt counter holds before it drops those that stopped trying,
// so that its memory stays bounded.
inline constexpr int attemptKeysKept = 100'000;
// The service's own certificate, in days: what browsers accept at most.
inline constexpr int certificateDays = 825;

// --- Students ---

// A student's session without a poll.
inline constexpr qint64 studentSessionMs = 24LL * 3600 * 1000;
// Logins per address in the window: a whole school behind one address, but
// not an endless stream of sessions.
inline constexpr int loginsPerAddress = 1'000;
// Wrong class codes per address in the window: guessing a code by trying
// gets a few, then a pause.
inline constexpr int wrongCodesPerAddress = 20;
// Unknown session tokens per address in the window, on a database that
// instances share: each costs a query there. A school's ended sessions come
// by once each; past this an address gets 429 for unknown tokens. Live
// sessions are answered from memory all the same (one made on another
// instance a moment ago is found at its next poll).
inline constexpr int unknownTokensPerAddress = 600;
inline constexpr qint64 loginWindowMs = 10 * 60 * 1000;
// Students in one class (the default of serve --max-students).
inline constexpr int studentsPerClass = 500;
// A student's name (cleaned), the device's description and its identifier.
inline constexpr int studentNameLength = 200;
inline constexpr int deviceInfoLength = 500;
inline constexpr int deviceIdLength = 200;
// The students' last polls are written in one batch this often.
inline constexpr int lastSeenFlushMs = 5'000;
// A computer that did not poll for this long during a block has lost
// contact: three polls missed.
inline constexpr qint64 contactWithinMs = 15'000;
// On a shared database a contact event left to another instance is looked
// for in the store this long after: that instance's next write, two flushes
// of the polls and a round later. The events of a class read for it at most.
inline constexpr qint64 contactCheckAfterMs = 3 * lastSeenFlushMs;
inline constexpr int contactCheckEvents = 10'000;
// What a student's computer reports after each privileged run (a switch, a
// repair, a quit): a handful in a lesson; more than this in the window is a
// broken or hostile client, and is not heard.
inline constexpr int reportsPerSession = 30;
inline constexpr qint64 reportWindowMs = 10 * 60 * 1000;
// A report's session token (the service's are 64 characters) and a failure's
// line in characters (the application sends 300 at most).
inline constexpr int reportTokenLength = 200;
inline constexpr int reportErrorLength = 500;

// --- Classes ---

// A class code: letters and digits. The service makes codes of
// `madeCodeLength`, read from the board; a class file may give longer ones.
inline constexpr int classCodeLength = 32;
inline constexpr int madeCodeLength = 6;
// A class's, its school's and its teacher's name as the students see them.
inline constexpr int classNameLength = 100;
// Names and addresses one class blocks: well within what the students'
// application takes (2,000 of each).
inline constexpr int namesPerClass = 500;
inline constexpr int addressesPerClass = 500;

// --- The lesson log ---

// Days each class's log is kept (the default of serve --lesson-log-days), and
// the most serve accepts; older days are deleted once in this while.
inline constexpr int lessonLogDays = 30;
inline constexpr int maxLessonLogDays = 3'650;
inline constexpr qint64 lessonLogPruneEveryMs = 3600 * 1000;
// The page shows the newest events of a day; the CSV file holds all of it.
inline constexpr int eventsOnPage = 200;
inline constexpr int eventsInFile = 100'000;
// Events waiting for a store that does not take them; beyond, the oldest go.
inline constexpr qsizetype unwrittenEvents = 100'000;

// --- Teachers ---

// A teacher's page login, and the device cookie of a browser they used
// (browsers keep a cookie 400 days at most).
inline constexpr qint64 teacherSessionMs = 12LL * 3600 * 1000;
inline constexpr qint64 deviceCookieMs = 400LL * 24 * 3600 * 1000;
// Failed logins: free ones within the window, then each further one doubles
// the wait before the next attempt, from the first delay to the longest: a
// guesser gets one try a minute, and the teacher is never held out longer.
inline constexpr qint64 loginFailureWindowMs = 15 * 60 * 1000;
inline constexpr qint64 firstLoginDelayMs = 1'000;
inline constexpr qint64 longestLoginDelayMs = 60 * 1000;
// Free failures per account (and per browser with the teacher's device cookie),
// and per address: a whole school's teachers behind one address mistype now and then.
inline constexpr int freeFailuresPerAccount = 5;
inline constexpr int freeFailuresPerAddress = 100;
// Unknown login cookies per address in the login window (10 minutes), on a
// database that instances share: as with unknown session tokens, each costs
// a query there. Past this a cookie not in memory is taken for an unknown one.
inline constexpr int unknownCookiesPerAddress = 600;
// Password checks at a time: each holds 64 MiB of Argon2id memory.
inline constexpr int passwordCheckThreads = 2;
// A teacher's password, login name and the name students see.
inline constexpr int minPasswordLength = 10;
inline constexpr int maxPasswordLength = 200;
inline constexpr int teacherNameLength = 64;
inline constexpr int displayNameLength = 100;
// The class command waits this long for the service's answer.
inline constexpr int classCommandTimeoutMs = 15'000;

// Several instances on one PostgreSQL database. Each change is announced to
// the others at once; this often every instance reads everything again, in
// case an announcement was missed.
inline constexpr int resyncMs = 30'000;
// This often an instance asks whether the database answers. After it did not,
// it connects again after the first delay, each further try waiting twice as
// long up to the longest, so that a database coming back is not flooded.
inline constexpr int databaseCheckMs = 1'000;
inline constexpr int firstReconnectDelayMs = 500;
inline constexpr int longestReconnectDelayMs = 8'000;
// A statement waits this long for a lock that another session holds, then
// fails: far below the 10 s in which a front's health check expects an
// answer, though a tick may write more than once.
inline constexpr int databaseLockWaitMs = 2'000;
// The service's thread waits this long for its database at most; then the
// connection is cut (DatabaseDeadline), as a server that hangs answers
// nothing and closes nothing. Above the lock wait and libpq's connect
// timeout, which end their own waits first; far below the front's 10 s.
inline constexpr int databaseAnswerMs = 4'000;
// A session that waits this long inside its transaction without a statement
// is ended by the database, and its locks with it. The service's own
// transactions run without a pause.
inline constexpr int databaseStalledTransactionMs = 10'000;

}  // namespace kt::service::limits
