// SPDX-License-Identifier: GPL-3.0-or-later
// The dialogs of the harmonic analysis and the waveform math: "FFT" (TKTX_fft_dial),
// "Mathematik 1 Kanal" (TKTX_mth_dial) and "Mathematik 2 Kanal" (TKTX_mth2_dial). They collect
// the source, the period, the function and the target and hand them to the computations of
// fft_computation.h, channel_math.h and two_channel_math.h; "Show" asks the main window to open
// the result. Modal, user-interface thread only. A computation lets the window messages be
// processed, so "Abbruch" stops it; closing the dialog meanwhile waits for it to stop.
#pragma once

#include <QDialog>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "analysis/analysis_source.h"
#include "analysis/channel_math.h"
#include "analysis/fft_computation.h"
#include "analysis/two_channel_math.h"

class QButtonGroup;
class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QProgressBar;
class QPushButton;
class QRadioButton;
class QSpinBox;

namespace ktx {

class Notifier;

// What the dialogs need of the main window.
struct AnalysisContext {
    Notifier* notifier = nullptr;
    std::string startFolder;  // the folder shown first
    std::uint64_t memoryBudget = kDefaultFftMemoryBudget;
    std::function<void(const std::string&)> show;  // open a result file by its extension
};

// The source block the three dialogs share: folder ("Verzeichnis"), file list, format filter
// and the source name field(s).
class SourceBlock;

// Cursors and column chosen in a waveform view shown modally ("Auswahl").
struct ViewSelection {
    std::int64_t cursor1 = 0;
    std::int64_t cursor2 = 0;
    int column = 0;
};

class TKTX_fft_dial : public QDialog {
    Q_OBJECT
  public:
    TKTX_fft_dial(AnalysisContext context, QWidget* parent = nullptr);
    ~TKTX_fft_dial() override;

    // What the user types and picks, for the main window and tests.
    void SetFolder(const std::string& folder);
    void SetSource(const std::string& name);
    void SetTarget(const std::string& name);
    void SetWindow(FftWindow window);
    void SetHarmonics(int k);
    void ChooseSelection();  // aus_rdClick
    void ChooseWholeFile();  // ktx_rdClick
    void Start();            // okClick
    void ShowResult();       // shwbtnClick
    // A period set directly, as a selection in a view would.
    void SetPeriod(std::int64_t start, std::int64_t stop, int column);

    bool StartEnabled() const;
    bool ShowEnabled() const;
    bool WindowChoiceEnabled() const;
    int HarmonicsMaximum() const;
    QString StartLabel() const;
    QString StopLabel() const;
    QString ChannelLabel() const;
    std::string Target() const;
    const FftOutcome& LastOutcome() const { return m_outcome; }

    // Asked for the column of a four-column file with several used columns; the channel
    // dialog by default.
    std::function<std::optional<int>(const UnitStrings&)> chooseColumn;
    // Shows the source in a waveform view for "Auswahl"; a modal view by default.
    std::function<std::optional<ViewSelection>(const std::string& file, bool sampleAxis)>
        selectInView;

  protected:
    void reject() override;

  private:
    void SourceChanged();
    bool Prepare();
    void Validate();
    std::string TargetPath() const;

    AnalysisContext m_context;
    SourceBlock* m_source;
    QLineEdit* m_zieledit;
    QRadioButton* m_ktxRd;
    QRadioButton* m_ausRd;
    QButtonGroup* m_fiRad;
    QWidget* m_fiBox;
    QSpinBox* m_owSpin;
    QSpinBox* m_pgSpin;
    QProgressBar* m_fgauge;
    QLabel* m_startlab;
    QLabel* m_stoplab;
    QLabel* m_chanlab;
    QPushButton* m_okBtn;
    QPushButton* m_shwbtn;
    QPushButton* m_abbruch;

    std::optional<PreparedSource> m_prepared;
    std::optional<SourceLayout> m_layout;
    std::int64_t m_start = 0;
    std::int64_t m_stop = 0;
    int m_column = 0;
    Period m_period;
    bool m_computing = false;
    bool m_abort = false;
    bool m_closeWhenDone = false;
    FftOutcome m_outcome;
};

class TKTX_mth_dial : public QDialog {
    Q_OBJECT
  public:
    TKTX_mth_dial(AnalysisContext context, QWidget* parent = nullptr);
    ~TKTX_mth_dial() override;

    void SetFolder(const std::string& folder);
    void SetSource(const std::string& name);
    void SetTarget(const std::string& name);
    void SetFunction(MathFunction f);
    void SetFactor(int f);
    void SetPeriod(std::int64_t start, std::int64_t stop, int column);
    void ChooseSelection();
    void Start();
    void ShowResult();

    bool StartEnabled() const;
    bool ShowEnabled() const;
    bool FactorEnabled() const;
    bool SelectionEnabled() const;
    int Factor() const;
    std::string Target() const;
    QString StartLabel() const;
    QString StopLabel() const;
    const MathOutcome& LastOutcome() const { return m_outcome; }

    std::function<std::optional<int>(const UnitStrings&)> chooseColumn;
    std::function<std::optional<ViewSelection>(const std::string& file, bool sampleAxis)>
        selectInView;

  protected:
    void reject() override;

  private:
    void SourceChanged();
    void WholeFile();
    void Validate();
    void TargetChanged();
    std::string TargetPath() const;
    MathFunction Function() const;

    AnalysisContext m_context;
    SourceBlock* m_source;
    QLineEdit* m_zieledit;
    QButtonGroup* m_fiRad;
    QSpinBox* m_fakEdi;
    QLabel* m_faklab;
    QRadioButton* m_ktxRd;
    QRadioButton* m_ausRd;
    QProgressBar* m_fgauge;
    QLabel* m_startlab;
    QLabel* m_stoplab;
    QLabel* m_chanlab;
    QPushButton* m_okBtn;
    QPushButton* m_shwbtn;

    std::optional<PreparedSource> m_prepared;
    std::optional<SourceLayout> m_layout;
    std::int64_t m_start = 0;
    std::int64_t m_stop = 0;
    int m_column = 0;
    Period m_period;
    bool m_computing = false;
    bool m_abort = false;
    bool m_closeWhenDone = false;
    MathOutcome m_outcome;
};

class TKTX_mth2_dial : public QDialog {
    Q_OBJECT
  public:
    TKTX_mth2_dial(AnalysisContext context, QWidget* parent = nullptr);
    ~TKTX_mth2_dial() override;

    void SetFolder(const std::string& folder);
    void SetSources(const std::string& name1, const std::string& name2);
    void SetTarget(const std::string& name);
    void SetFunction(Math2Function f);
    void Start();
    void ShowResult();

    bool StartEnabled() const;
    bool ShowEnabled() const;
    const Math2Outcome& LastOutcome() const { return m_outcome; }

    // Asked with the source number (1 or 2) for a four-column source with several columns.
    std::function<std::optional<int>(const UnitStrings&, int source)> chooseColumn;

  protected:
    void reject() override;

  private:
    void FieldsChanged();
    std::string Path(const QString& text) const;
    std::optional<Math2Source> PrepareOne(const std::string& path, int number,
                                          std::shared_ptr<ScratchFile>& keep);

    AnalysisContext m_context;
    SourceBlock* m_source;
    QLineEdit* m_fileedit2;
    QLineEdit* m_zieledit;
    QButtonGroup* m_fiRad;
    QProgressBar* m_fgauge;
    QLabel* m_startlab;
    QLabel* m_stoplab;
    QLabel* m_chanlab;
    QPushButton* m_okBtn;
    QPushButton* m_shwbtn;
    bool m_computing = false;
    bool m_abort = false;
    bool m_closeWhenDone = false;
    Math2Outcome m_outcome;
};

}  // namespace ktx
