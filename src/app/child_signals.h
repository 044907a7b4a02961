// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>

namespace ktx {

// For a widget's destructor: its children are torn down after it, and a line edit losing focus
// then still emits editingFinished; such a signal must not reach the half-destroyed widget.
inline void DetachChildrenFrom(QObject* receiver) {
    for (QObject* child : receiver->findChildren<QObject*>()) {
        child->disconnect(receiver);
    }
}

}  // namespace ktx
