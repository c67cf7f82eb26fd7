#pragma once
// Where a speech bubble shows: just above what it speaks of.

class QWidget;

// Shows `bubble` above its siblings with its bottom on the top edge of `anchor` and its left
// edge at `left` in the anchor's parent. The bubble's parent may be another widget of the
// window than the anchor's, one that no scroll area clips.
void show_bubble_above(QWidget* bubble, const QWidget* anchor, int left);
