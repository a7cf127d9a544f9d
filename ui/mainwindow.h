#pragma once
// TForm1, the main window: the chart, the protocol box, the readout labels and
// the command buttons. Handlers are named after their control and event; each
// is small and calls the core for the work.
#include "core/calibration.h"

#include <QWidget>

#include <cstdint>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;

namespace potencor::ui {

class PointerTracker;
class TChart;
class TForm2;
class TSaveTextFileDialog;

class TForm1 : public QWidget {
    Q_OBJECT
public:
    static constexpr int kClientWidthPx = 1246;
    static constexpr int kClientHeightPx = 775;

    struct Options {
        bool showStartupWarning = true; // off only where nobody can answer it
    };

    TForm1();
    explicit TForm1(Options options, QWidget* parent = nullptr);
    ~TForm1() override;

    void setAboutWindow(TForm2* about) { Form2 = about; }

    // Controls, named as in the window's layout.
    QLabel* Label3;
    QLabel* Label4;
    QLabel* Label5;
    QLabel* Label6;
    TChart* Chart1;
    QPushButton* Button1;
    QPlainTextEdit* Memo1;
    QLineEdit* Edit1;
    QLineEdit* Edit3;
    QLineEdit* Edit5;
    QLineEdit* Edit6;
    QPushButton* Button2;
    QCheckBox* CheckBox1;
    QPushButton* Button3;
    QCheckBox* CheckBox2;
    QPushButton* Button4;
    QPushButton* Button5;
    QPushButton* Button6;
    QCheckBox* CheckBox3;
    QPlainTextEdit* Memo2;
    TSaveTextFileDialog* SaveTextFileDialog1;
    TForm2* Form2 = nullptr; // the About window, owned by this window

    // Measurement state.
    calibration::Calibration calib{};
    std::int32_t count = 0;
    long double phi = 0;

    char32_t decimalSeparator() const { return decimalSeparator_; }

    // The window's outer top-left corner as the calibration expects it: the
    // client origin minus the frame the defaults were measured on. Logical px,
    // fractional on a scaled display.
    QPointF calibrationWindowOrigin() const;
    // The cursor's screen position, logical px, fractional on a scaled display.
    QPointF cursorPos() const;

    // Handlers.
    void FormCreate();
    void Button1Click();
    void Button2Click();
    void Chart1Click();
    void Chart1MouseMove();
    void Button3Click();
    void CheckBox2Click();
    void FormMouseMove();
    void Button4Click();
    void Button5Click();
    void Button6Click();
    void SaveTextFileDialog1CanClose(bool& canClose);

protected:
    void changeEvent(QEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;

private:
    void createControls();
    void readDecimalSeparator();

    Options options_;
    char32_t decimalSeparator_ = U'.';
    PointerTracker* pointer_;
};

// The start-up warning about the display scale (modal, "Warning", one "OK").
void showDisplayScaleWarning(QWidget* parent);

// The first character of the locale's decimal separator, '.' when unreadable.
char32_t decimalSeparatorOf(const QLocale& locale);

} // namespace potencor::ui
