#pragma once
// A small driver that works the window as a user would, for demos on machines without a display
// and for the whole-program tests. It is off unless SUCAIGANG_AUTOMATION names a script file:
// UTF-8, one step per line; blank lines and lines starting with "#" are skipped. <text> is the rest
// of the line after one space (it may hold spaces, or be empty).
//
//   wait <control> <text>   until the control shows exactly <text>
//   waitcontains <control> <text>   until the control's text holds <text> (e.g. a log line)
//   waitenabled <control>   until the control is enabled
//   waitvisible <control>   until the control is shown (not hidden)
//   set <control> <text>    replaces an edit box's text as typing would
//   click <control>         clicks a button, or presses and releases the left button on a label
//   ok [<text>]             waits for a shown message box (with exactly <text>) and presses OK
//                           (or Yes); `yes` and `no` press Yes and No
//   shot <file.png>         saves a picture of the window
//   dump <file>             writes one UTF-8 line per control, "name\ttext\tvisible\tenabled"
//                           (tabs, line breaks and "\" in texts written as \t, \n, \r, \\), and
//                           "title\t<window title>"
//   sleep <milliseconds>
//   quit                    closes the window; the program then ends as usual
//
// Steps run one after another on the UI thread from a timer, so the event loop never blocks. Every
// wait gives up after SUCAIGANG_AUTOMATION_TIMEOUT_MS (default 20000): a step that times out or
// cannot be done writes the reason to standard error and ends the program with exit code 3. Each
// step is echoed to standard error as "automation: <step>" before it runs.
namespace sucaigang {

class MainWindow;

inline constexpr int kAutomationFailed = 3;

// Starts the script named by SUCAIGANG_AUTOMATION, if any; on the UI thread, before the window's
// created handler runs, so that a box shown by it can be answered. False (reason on standard
// error) when the script cannot be read or holds an unknown step.
bool StartAutomationFromEnvironment(MainWindow& window);

}  // namespace sucaigang
