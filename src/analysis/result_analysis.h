// The fifth stage: scans the downloaded result page for the highlighted search
// words, counts the continuations that follow them, chooses the next input,
// shows it, appends it to the story file and remembers it.
#pragma once

void SecondPartDLF();
