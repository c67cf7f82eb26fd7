#pragma once
// Tells a user who is looking elsewhere, at a farm's other work, that a batch has ended.

#include <QString>

namespace batch_notice {

// Shows `text` as a desktop notification where the session runs a notification service, and
// rings the bell.
void tell(const QString& text);

} // namespace batch_notice
