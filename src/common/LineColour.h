#pragma once
// The colours the program's logs and tables give a line: black for the ordinary, blue for a start or a
// good outcome, red for a failure, maroon for a heading, green for what was done. One set for the polling
// console, the package and synchronisation logs and every table that takes their colours, so a result
// shows the same everywhere; LineColourInk.h turns them into what a window paints.

namespace tarn {

enum class LineColour { Black, Maroon, Blue, Green, Red };

} // namespace tarn
