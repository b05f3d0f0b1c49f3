#pragma once
// Numbers shared by the process controller, its hosts and its callers:
// process types, board results, event kinds, wait results, timers,
// posted notifications and the time constants of the step machine.

// Process types (m_nProcess; 0 = idle).
enum ProcessType {
    PROC_NONE = 0,
    PROC_QUERY = 1,
    PROC_RESCUE_QUERY = 2,
    PROC_TRANSFER = 3,
    PROC_RESCUE_TRANSFER = 4,
    PROC_REPAIR = 5,
};

// Board result codes kept per board line.
enum BoardResult {
    RESULT_UNKNOWN = 0,
    RESULT_OK = 1,
    RESULT_NOT_FOUND = 2,
    RESULT_NEW_RELEASE_NOT_FOUND = 3,
    RESULT_ABORTED = 4,
    RESULT_BAD_SERIAL = 5,
    RESULT_NOT_UPDATED = 6,
    RESULT_FAILED = 7,        // the transfer failed on the line or in the file (not the user)
};

// Event kinds of ProcessStep.
enum EventKind {
    EV_TIMER_ERROR = 1,
    EV_COMM_ERROR = 2,
    EV_STEP = 3,
    EV_RX_TIMEOUT = 4,
    EV_SEND_FAILED = 5,
};

// Results of WaitForEvent.
enum WaitResult {
    WAIT_REPLY = 1,
    WAIT_TIMEOUT = 2,
    WAIT_CANCEL = 3,
    WAIT_NO_DIALOG = 4,
    WAIT_NEGATIVE = 5,
};

// Results of IdentifyAfterRestart.
enum RestartIdentResult {
    RESTART_IDENTIFIED = 1,
    RESTART_NOT_FOUND = 3,
    RESTART_STOPPED = 4,
    RESTART_NO_DIALOG = 5,
};

// Results of the data-block loop.
enum BlockLoopResult {
    LOOP_DONE = 0,
    LOOP_READ_ERROR = -1,
    LOOP_BLOCK_NOT_FOUND = -2,
    LOOP_USER_ABORT = -3,
    LOOP_WRITE_FAILED = -4,
    LOOP_TOO_MANY_RESENDS = -5,
};

// Results of the auto-configure ("identification") dialog.
enum IdentDialogResult {
    IDENT_FOUND = 1,
    IDENT_CANCELLED = 2,
    IDENT_NO_ANSWER = 7,
};

// Timer ids of the controller.
enum EngineTimer {
    TIMER_TICK = 1,       // 500 ms tick while a process runs
    TIMER_REPLY = 2,      // reply time-out of the last sentence
    TIMER_CMDLINE = 3,    // one-shot start of a command-line transfer
};

// Notifications the controller posts to itself (step run after the current handler).
enum EngineNotification {
    NOTIFY_STEP_15 = 1025,
    NOTIFY_STEP_27 = 1026,
    NOTIFY_STEP_12 = 1027,
};

// Progress items of the view named by the steps.
enum ProgressItem {
    PROGRESS_ERASE = 153,
    PROGRESS_OVERALL = 144,
    PROGRESS_PROGRAM = 154,
    PROGRESS_FILE = 157,
};

// Lamps of the view.
enum Lamp { LAMP_TRANSMIT = 304, LAMP_RECEIVE = 305 };

// Time constants of the step machine (milliseconds).
inline constexpr int TICK_PERIOD_MS = 500;
inline constexpr int CMDLINE_START_DELAY_MS = 10;
// End of the data: once the last record has left the line (the engine's
// line clock, plus the line time of what the driver still holds and of a USB
// adapter's transmit buffer, END_OF_DATA_ADAPTER_BYTES), a board that found
// it bad asks for it again within a few milliseconds; its request, about 20
// bytes, crosses the line in 25 ms from 9600 bit/s up. The window is six
// times that, for a board busy writing its flash page. A resend request ends
// it at once.
inline constexpr int END_OF_DATA_RESEND_WINDOW_MS = 150;
inline constexpr int END_OF_DATA_ADAPTER_BYTES = 256;
// A data record that the driver cannot take whole is written in pieces: the
// event loop runs in between (the window answers, Escape is asked about) and
// the driver is offered the rest again this often.
inline constexpr int RECORD_WRITE_RETRY_MS = 5;
// Restart identification: the found phase asks again this often while the
// board has to keep answering ("Reserved 3").
inline constexpr int RESTART_IDENT_RESEND_MS = 2000;
// Restart identification of a relayed board: after "$PKVR,IDENT,,,,,X" the
// parent probes its port; its answer is asked for every
// RESTART_RELAY_POLL_MS, and the board behind it is expected within
// RESTART_RELAY_SETTLE_MS (the parent's own probe of the port).
inline constexpr int RESTART_RELAY_SETTLE_MS = 3000;
inline constexpr int RESTART_RELAY_POLL_MS = 500;
// Restart identification at the rates known before the search: each rate is
// listened to for one attempt period of the search, and asked again every
// RESTART_PROBE_RESEND_MS, or after the pause between two writes ("Between 2
// write", 300 ms by default) when that is longer, while nothing at all comes
// back: a board that comes up during the period is heard at its next
// question (the sentence takes 7 ms of the line at 19200 bit/s, so a booting
// board that ignores it loses nothing).
inline constexpr int RESTART_PROBE_RESEND_MS = 200;
inline constexpr int MAX_CONSECUTIVE_RESENDS = 5;
inline constexpr int BLINK_EVERY_BLOCKS = 100;
inline constexpr int MAX_READ_CHUNK = 32766;             // one notification reads at most this
inline constexpr int DEFAULT_BAUD_INDEX = 3;             // 9600
inline constexpr int MAX_AUTO_TRANSFER_SPEED_INDEX = 7;  // 115200
