// SPDX-License-Identifier: GPL-3.0-or-later
// The image window (`TMDIChild`): a picture, stretched to the window, under a comment field
// whose lines live beside the picture file in a ".dat" file. The main window keeps at most one
// of these; fetched pictures and opened picture files both go into it. The window keeps its
// picture in memory: the scratch file it came from may change as soon as it is loaded.
//
// User-interface thread only.
#pragma once

#include <QImage>
#include <QWidget>
#include <string>

#include "app/child_window.h"

class QTextEdit;

namespace ktx {

class Notifier;

// `Image1`: the picture drawn stretched over the whole control.
class TMImage final : public QWidget {
    Q_OBJECT
  public:
    explicit TMImage(QWidget* parent = nullptr);
    void SetPicture(const QImage& image);
    const QImage& Picture() const { return m_image; }

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    QImage m_image;
};

class TMDIChild final : public QWidget, public KtxChildWindow {
    Q_OBJECT
  public:
    // `tempPicture` is the program's `TempPicture`; the window tells `services` when it closes.
    TMDIChild(Notifier& notifier, ShellServices& services, std::string tempPicture,
              QWidget* parent = nullptr);

    // Loads a picture file by its extension (".bmp", ".pcx", ".png"; PNG pictures are shown
    // with their colours inverted). False, with message 9, when the file is no picture; the
    // window then keeps what it showed.
    bool LoadFile(const std::string& fileName);
    // "Öffnen": `OpenDialog1`, then LoadFile.
    void OpenWithDialog();

    // KtxChildWindow
    void PrintYourself() override;
    void SaveYourself() override;
    void CopyYourself() override;
    bool IsImageWindow() const override { return true; }

    // Saves the fetched picture under `fileName` (BMP or PNG by its suffix) with its comment.
    bool SaveTempPictureAs(const std::string& fileName);
    // Fits the window around the picture (keeps its proportions).
    void FitWindow();

    bool ShowsTempPicture() const { return m_tempPicture; }
    bool CommentChanged() const { return m_commentChanged; }
    double AspectRatio() const { return m_aspectRatio; }
    const QImage& Picture() const { return m_image->Picture(); }
    QTextEdit* Comment() const { return m_kommentar; }
    const std::string& CommentFile() const { return m_commentFile; }
    // The picture file shown last; empty before the first.
    const std::string& LoadedFile() const { return m_loadedFile; }

  protected:
    void resizeEvent(QResizeEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

  private:
    void AskToSaveComment();
    bool WriteComment();
    std::vector<std::string> CommentLines() const;

    Notifier& m_notifier;
    ShellServices& m_services;
    std::string m_tempPicturePath;
    QTextEdit* m_kommentar;
    TMImage* m_image;
    double m_aspectRatio = 0;
    bool m_commentChanged = false;
    bool m_tempPicture = false;
    bool m_fitting = false;
    bool m_closingTold = false;
    std::string m_commentFile;
    std::string m_fileName;
    std::string m_loadedFile;
};

}  // namespace ktx
