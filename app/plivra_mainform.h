#pragma once
#include <QWidget>
#include <array>
#include <memory>
#include <vector>

#include "qt/file_dialog.h"
#include "shape/records.h"
#include "view/settings.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QPainter;
class QPushButton;
class QSlider;
struct TBitmap;

// A box that shows a picture drawn elsewhere: its paint event hands the
// box's painter to whoever listens on paint().
class TPaintBox : public QWidget {
    Q_OBJECT

public:
    using QWidget::QWidget;

signals:
    void paint(QPainter& Canvas);

protected:
    void paintEvent(QPaintEvent* event) override;
};

// A separator drawn as a sunken line along its bottom edge.
class TBevel : public QWidget {
public:
    using QWidget::QWidget;

protected:
    void paintEvent(QPaintEvent* event) override;
};

// The nine views of the main window, in the order their bitmaps are made.
enum TViewBox : int {
    kSuf1XY, kSuf1YZ, kSuf1ZX,
    kSuf2XY, kSuf2YZ, kSuf2ZX,
    kPreviewXY, kPreviewYZ, kPreviewZX,
    kViewBoxCount
};

// State of the main window's module, set by plivra_mainformInitialize before
// any window exists and released by plivra_mainformFinalize after the event
// loop. The window owns the three lists and releases them with FreeSuf.
extern TVANE_Object* Suf1;        // start shape, nullptr when none
extern TVANE_Object* Suf2;        // target shape, nullptr when none
extern TVANE_Object* MorphedSuf;  // copy of the start shape loaded last, blended in place
// One settings record for all nine views; every fit replaces it whole.
extern TVANE_ViewSettings ViewSettings;
// One bitmap per view box, made by FormShow at the box's size; nullptr before.
extern std::array<std::unique_ptr<TBitmap>, kViewBoxCount> ViewBitmaps;

// Empties the three lists and sets ViewSettings to the defaults with its
// camera set again from DefaultCamera, ClearFirst on and ShowGrid off.
void plivra_mainformInitialize();
// Releases Suf1, Suf2 and MorphedSuf in this order, then the nine bitmaps.
void plivra_mainformFinalize();

// The morphing tool's main window: loads a start and a target shape, shows
// each in three views, blends them at the percentage of the track bar or
// the field, previews the blend and saves it.
class TForm1 : public QWidget {
    Q_OBJECT

public:
    explicit TForm1(QWidget* parent = nullptr);

    void FormShow();
    void ViewAll();
    void PreviewAll();
    void MorphSuf();
    void Refer1Click();
    void Refer2Click();
    void Button3Click();
    void Button4Click();
    void AutoFitClick();
    void MorphPercentChange();
    void PercentTXBXChange();
    void Suf1XYPaint(QPainter& Canvas);
    void Suf1YZPaint(QPainter& Canvas);
    void Suf1ZXPaint(QPainter& Canvas);
    void Suf2XYPaint(QPainter& Canvas);
    void Suf2YZPaint(QPainter& Canvas);
    void Suf2ZXPaint(QPainter& Canvas);
    void PreviewXYPaint(QPainter& Canvas);
    void PreviewYZPaint(QPainter& Canvas);
    void PreviewZXPaint(QPainter& Canvas);

    QLabel* Label3 = nullptr;
    QLabel* Label4 = nullptr;
    QLabel* Label1 = nullptr;
    QLineEdit* suf1name = nullptr;
    QPushButton* Refer1 = nullptr;
    TPaintBox* Suf1XY = nullptr;
    TPaintBox* Suf1YZ = nullptr;
    TPaintBox* Suf1ZX = nullptr;
    QLabel* Label5 = nullptr;
    TBevel* Bevel1 = nullptr;
    QLabel* Label2 = nullptr;
    QLineEdit* suf2name = nullptr;
    QPushButton* Refer2 = nullptr;
    TPaintBox* Suf2XY = nullptr;
    TPaintBox* Suf2YZ = nullptr;
    TPaintBox* Suf2ZX = nullptr;
    QLabel* Label6 = nullptr;
    TBevel* Bevel2 = nullptr;
    QCheckBox* AutoFit = nullptr;
    TPaintBox* PreviewXY = nullptr;
    TPaintBox* PreviewYZ = nullptr;
    TPaintBox* PreviewZX = nullptr;
    QSlider* MorphPercent = nullptr;
    QLineEdit* PercentTXBX = nullptr;
    QLabel* Label7 = nullptr;
    QPushButton* Button3 = nullptr;
    QPushButton* Button4 = nullptr;
    // Shared by both "参照" buttons, so it opens on the file chosen last.
    std::unique_ptr<TFileDialog> OpenDialog1;
    std::unique_ptr<TFileDialog> SaveDialog1;

protected:
    void showEvent(QShowEvent* event) override;

private:
    void createControls();
    void createDialogs();
    void orderTabs();
    QLabel* createLabel(const char* name, const QString& caption, const QRect& geometry);
    QLineEdit* createField(const char* name, const QRect& geometry);
    // A label in the Mincho font as high as its box.
    QLabel* createTitle(const char* name, const QString& caption, const QRect& geometry);
    // A separator across the window under a shape's row.
    TBevel* createBevel(const char* name, int top);
    // The nine view boxes, each painted by its handler.
    void createPaintBoxes();
    TPaintBox* box(TViewBox view) const;
    // One view to draw: Shape into the bitmap of Box with Settings.
    struct TViewDrawing {
        TVANE_Object* Shape;
        TViewBox Box;
        TVANE_ViewSettings Settings;
    };
    // Adds the three views of Shape, boxes from First on, one view kind each
    // with the current settings; ViewKind is left at the last.
    void queueViews(TVANE_Object* Shape, TViewBox First, std::vector<TViewDrawing>& Drawings);
    // PreviewAll up to the drawing: fits the preview if AutoFit is ticked and
    // queues its three views.
    void queuePreview(std::vector<TViewDrawing>& Drawings);
    // Draws the views, those of one shape together in one walk of it that a
    // large shape shares out between the cores, and then repaints their
    // boxes in order, so no box shows a view half drawn. With BlendPercent,
    // MorphedSuf is blended from Suf1 and Suf2 at that percentage in the
    // walk that draws it.
    void drawAndRepaint(const std::vector<TViewDrawing>& Drawings, const std::int32_t* BlendPercent = nullptr);
    // Takes the open dialog off the screen, then replaces Shape by the
    // shape of the file chosen in it (nullptr when the file holds none). A
    // file that cannot be read is shown in the error report and gives
    // false, leaving Shape empty.
    bool loadChosen(TVANE_Object*& Shape);
    // Names the chosen file in Name and draws every view, or shows "error"
    // when Shape is empty.
    void showLoaded(const TVANE_Object* Shape, QLineEdit* Name);
    // A dialog just closed: takes it off the screen and paints the window
    // where it was, before the handler goes on to slow work.
    void settleAfterDialog();
    void copyBitmap(QPainter& Canvas, TViewBox view);

    bool shown_ = false;
};

// The program's main window, set while it exists.
extern TForm1* Form1;
