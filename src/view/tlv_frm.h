// SPDX-License-Identifier: GPL-3.0-or-later
// The live display window "Live": Start asks for the sources, sets the instrument up and runs
// frame after frame until Stop, a failed frame or closing. Each frame is one turn of the event
// loop (a zero-interval timer starts the next), so Stop and closing are handled between
// frames, never inside one. User-interface thread only.
#pragma once

#include <QDialog>
#include <QElapsedTimer>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "view/live_display.h"

class QLabel;
class QPushButton;
class QTimer;

namespace ktx {

class CommandTransport;
class Notifier;

// The drawing area `Image1`: the grid and the curves of the latest frame.
class LiveImage final : public QWidget {
  public:
    explicit LiveImage(QWidget* parent);
    void Show(std::shared_ptr<const LiveDisplay> live, LiveGrid grid);

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    std::shared_ptr<const LiveDisplay> m_live;
    LiveGrid m_grid;
};

class Tlv_frm final : public QDialog {
    Q_OBJECT
  public:
    using SourceChooser = std::function<std::optional<LiveSelection>()>;

    // Transport and notifier are borrowed and outlive the window.
    Tlv_frm(CommandTransport& transport, Notifier& notifier, std::string deviceFile,
            QWidget* parent = nullptr);
    ~Tlv_frm() override;

    // Replaces the source dialog (tests, scripted runs).
    void SetSourceChooser(SourceChooser chooser) { m_chooser = std::move(chooser); }

    void Button1Click();
    void Button2Click();
    bool Running() const;
    int Frames() const { return m_frames; }
    const LiveDisplay& Live() const { return *m_live; }
    // Called after each frame (tests, screenshots).
    void SetFrameObserver(std::function<void()> observer) { m_observer = std::move(observer); }

  protected:
    void resizeEvent(QResizeEvent* event) override;
    // FormClose: stops the run and frees the buffers (after the frame, when one is running).
    void done(int result) override;

  private:
    void Frame();
    void ShowLabels();
    void FitImage();

    CommandTransport& m_transport;
    Notifier& m_notifier;
    std::string m_deviceFile;
    SourceChooser m_chooser;
    std::function<void()> m_observer;
    // Shared with the frame in progress, so nothing it uses goes away under it.
    std::shared_ptr<LiveDisplay> m_live;
    QPushButton* m_button1;
    QPushButton* m_button2;
    QLabel* m_label2;
    QLabel* m_chdiv[kLiveMaxShown];
    QLabel* m_xdivLab;
    QWidget* m_panel;
    LiveImage* m_image1;
    QTimer* m_frameTimer;
    QElapsedTimer m_tick;
    LiveGrid m_grid;
    bool m_stop = true;
    bool m_inFrame = false;
    bool m_freeAfterFrame = false;
    int m_frames = 0;
};

}  // namespace ktx
