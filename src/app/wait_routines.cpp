// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/wait_routines.h"

#include <QAbstractEventDispatcher>
#include <QCursor>
#include <QGuiApplication>
#include <QThread>

#include <chrono>
#include <thread>

namespace ktx {

void WaitBusy(int ms) {
    if (ms > 0) {
        std::this_thread::sleep_for(std::chrono::milliseconds(ms));
    }
}

void ProcessOneMessage() {
    if (QAbstractEventDispatcher* d =
            QAbstractEventDispatcher::instance(QThread::currentThread())) {
        d->processEvents(QEventLoop::AllEvents);
    }
}

void WaitWithCursor(int ms) {
    ProcessOneMessage();
    QGuiApplication::setOverrideCursor(QCursor(Qt::WaitCursor));
    WaitBusy(ms);
    QGuiApplication::restoreOverrideCursor();
}

}  // namespace ktx
