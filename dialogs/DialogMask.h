#pragma once

class QWidget;

namespace DialogMask {

// Masks `dialog` with a rounded rectangle of radius 0 over its current size:
// the whole rectangle stays visible. The mask is made once and does not
// follow later resizes.
void applySquare(QWidget *dialog);

} // namespace DialogMask
