// The stand-in trade client's note: fills pushed through the port, the tick
// that raises the fill note, and the note shown as a trade client shows it.
#pragma once

namespace simhost {

struct TNoteOptions {
  int fills = 3;
  bool timing = false;  // the user's profile turns the timing row on
};

// Shows the note until the user closes it; answers the exit status.
int RunNoteWindow(void* addin, const TNoteOptions& options);

}  // namespace simhost
