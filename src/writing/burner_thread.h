#pragma once
// The thread a burner copies on, as every front end starts it.

class QThread;
class image_burner;

namespace burner_thread {

// A thread for `burner`, not started yet: it runs burn_image(), ends when that returns
// whatever the outcome, then deletes itself. Connect to it and to the burner before start().
QThread* make(image_burner& burner);

// Starts `thread` with room for the copy's buffers and the copy before other work.
void start(QThread* thread);

} // namespace burner_thread
