#include "app/plivra_mainform.h"

#include <QCheckBox>
#include <QFile>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPalette>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSlider>
#include <algorithm>

#include "app/morph.h"
#include "app/preview.h"
#include "formats/shape_io.h"
#include "qt/application.h"
#include "qt/fonts.h"
#include "qt/widgets.h"
#include "shape/state.h"
#include "shape/vane.h"
#include "view/canvas.h"
#include "view/draw.h"
#include "view/round.h"

#ifndef PLIVRA_VERSION
#define PLIVRA_VERSION "0.0.0"
#endif

TVANE_Object* Suf1 = nullptr;
TVANE_Object* Suf2 = nullptr;
TVANE_Object* MorphedSuf = nullptr;
TVANE_ViewSettings ViewSettings;
std::array<std::unique_ptr<TBitmap>, kViewBoxCount> ViewBitmaps;
TForm1* Form1 = nullptr;

namespace {

const QString kSufFilter = QStringLiteral("Quorra 形式形状ファイル|*.suf");
// Opening also reads the mesh formats there are importers for, after the
// shape files, which stay the first and default choice.
const QString kOpenFilter = kSufFilter + QStringLiteral(
    "|OBJ ファイル|*.obj|glTF ファイル|*.gltf;*.glb|PLY ファイル|*.ply|STL ファイル|*.stl");
const QString kSufExt = QStringLiteral("suf");

// The track bar's range: tenths of a percent.
constexpr int kTrackMax = 1000;

// Where each of the nine view boxes stands and who paints it, in TViewBox
// order: the three views of the start shape, of the target, of the blend.
struct TViewBoxPlace {
    const char* Name;
    QRect Place;
    TPaintBox* TForm1::*Box;
    void (TForm1::*Paint)(QPainter&);
};
const TViewBoxPlace kViewBoxPlaces[kViewBoxCount] = {
    {"Suf1XY", QRect(8, 64, 97, 85), &TForm1::Suf1XY, &TForm1::Suf1XYPaint},
    {"Suf1YZ", QRect(112, 64, 97, 85), &TForm1::Suf1YZ, &TForm1::Suf1YZPaint},
    {"Suf1ZX", QRect(216, 64, 97, 85), &TForm1::Suf1ZX, &TForm1::Suf1ZXPaint},
    {"Suf2XY", QRect(8, 196, 97, 85), &TForm1::Suf2XY, &TForm1::Suf2XYPaint},
    {"Suf2YZ", QRect(112, 196, 97, 85), &TForm1::Suf2YZ, &TForm1::Suf2YZPaint},
    {"Suf2ZX", QRect(214, 196, 97, 85), &TForm1::Suf2ZX, &TForm1::Suf2ZXPaint},
    {"PreviewXY", QRect(4, 312, 149, 141), &TForm1::PreviewXY, &TForm1::PreviewXYPaint},
    {"PreviewYZ", QRect(160, 312, 149, 141), &TForm1::PreviewYZ, &TForm1::PreviewYZPaint},
    {"PreviewZX", QRect(316, 312, 149, 141), &TForm1::PreviewZX, &TForm1::PreviewZXPaint},
};

std::string LocalPath(const QString& file_name) {
    return QFile::encodeName(file_name).toStdString();
}

// Black field with lime text, as both name fields and the percentage field are.
void PaintFieldColours(QLineEdit* field) {
    QPalette palette = field->palette();
    palette.setColor(QPalette::Base, Qt::black);
    palette.setColor(QPalette::Text, QColor(0, 255, 0));
    field->setPalette(palette);
}

// The stand-in fonts' digits are about a third wider than the design
// font's, so "-1000" or "1000" showed only as its last three characters.
// Condensed to kPercentStretch, and with the blank pixels QLineEdit keeps
// inside its frame given to the text, five characters fit the design box.
constexpr int kPercentStretch = 75;        // percent of the font's width
constexpr int kLineEditInnerMargin = 2;    // pixels QLineEdit leaves left and right
void FitFiveCharacters(QLineEdit* field) {
    QFont font = field->font();
    font.setStretch(kPercentStretch);
    field->setFont(font);
    field->setTextMargins(-kLineEditInnerMargin, 0, -kLineEditInnerMargin, 0);
}

// The labels' sizes fit their texts in the design fonts. Where a stand-in
// font needs more room, the label grows to the right rather than cut its
// text (the "%" beside the percentage field lost half its glyph).
void WidenToText(QLabel* label) {
    const int needed = label->sizeHint().width();
    if (needed > label->width())
        label->resize(needed, label->height());
}

}  // namespace

void plivra_mainformInitialize() {
    Suf1 = nullptr;
    Suf2 = nullptr;
    MorphedSuf = nullptr;
    VANE->DefaultViewSettings(ViewSettings);
    VANE->DefaultCamera(ViewSettings.Camera);
    ViewSettings.ClearFirst = true;
    ViewSettings.ShowGrid = false;
}

void plivra_mainformFinalize() {
    if (Suf1)
        VANE->FreeSuf(Suf1);
    if (Suf2)
        VANE->FreeSuf(Suf2);
    if (MorphedSuf)
        VANE->FreeSuf(MorphedSuf);
    for (auto& bitmap : ViewBitmaps)
        bitmap.reset();
}

void TPaintBox::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    emit paint(painter);
}

void TBevel::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const int bottom = height() - 1;
    painter.setPen(palette().color(QPalette::Dark));
    painter.drawLine(0, bottom - 1, width() - 1, bottom - 1);
    painter.setPen(palette().color(QPalette::Light));
    painter.drawLine(0, bottom, width() - 1, bottom);
}

TForm1::TForm1(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("Form1"));
    setWindowFlags(Qt::Window | Qt::MSWindowsFixedSizeDialogHint | Qt::CustomizeWindowHint |
                   Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    setWindowTitle(tr("簡易形状モーフィングツール"));
    setFont(GothicFont(12));
    setFixedSize(468, 529);
    createControls();
    createDialogs();
    orderTabs();
}

QLabel* TForm1::createLabel(const char* name, const QString& caption, const QRect& geometry) {
    auto* label = new QLabel(caption, this);
    label->setObjectName(QString::fromLatin1(name));
    label->setGeometry(geometry);
    return label;
}

QLineEdit* TForm1::createField(const char* name, const QRect& geometry) {
    auto* field = new QLineEdit(this);
    field->setObjectName(QString::fromLatin1(name));
    field->setGeometry(geometry);
    field->setFont(GothicFont(12));
    PaintFieldColours(field);
    return field;
}

QLabel* TForm1::createTitle(const char* name, const QString& caption, const QRect& geometry) {
    QLabel* label = createLabel(name, caption, geometry);
    label->setFont(MinchoFont(geometry.height()));
    return label;
}

TBevel* TForm1::createBevel(const char* name, int top) {
    auto* bevel = new TBevel(this);
    bevel->setObjectName(QString::fromLatin1(name));
    bevel->setGeometry(4, top, 465, 3);
    return bevel;
}

void TForm1::createPaintBoxes() {
    for (const TViewBoxPlace& place : kViewBoxPlaces) {
        auto* paint_box = new TPaintBox(this);
        paint_box->setObjectName(QString::fromLatin1(place.Name));
        paint_box->setGeometry(place.Place);
        connect(paint_box, &TPaintBox::paint, this, place.Paint);
        this->*place.Box = paint_box;
    }
}

void TForm1::createControls() {
    Label3 = createLabel("Label3",
                         tr("形状ファイル１から形状ファイル２に変形した形状を作成します。"),
                         QRect(72, 4, 321, 12));
    Label4 = createLabel("Label4",
                         tr("頂点、ポリゴン数、順番などは対応関係にある必要があります。"),
                         QRect(72, 20, 318, 12));

    Label1 = createLabel("Label1", tr("形状ファイル１"), QRect(12, 44, 73, 12));
    suf1name = createField("suf1name", QRect(92, 40, 329, 20));
    Refer1 = MakeButton(this, "Refer1", tr("参照"), QRect(424, 40, 41, 21), &TForm1::Refer1Click);
    Label5 = createTitle("Label5", tr("スタート形状"), QRect(324, 92, 125, 24));
    Bevel1 = createBevel("Bevel1", 161);

    Label2 = createLabel("Label2", tr("形状ファイル2"), QRect(16, 176, 71, 12));
    suf2name = createField("suf2name", QRect(92, 172, 329, 20));
    Refer2 = MakeButton(this, "Refer2", tr("参照"), QRect(424, 172, 41, 21), &TForm1::Refer2Click);
    Label6 = createTitle("Label6", tr("ターゲット形状"), QRect(324, 228, 126, 21));
    Bevel2 = createBevel("Bevel2", 289);

    AutoFit = new QCheckBox(tr("自動Fit"), this);
    AutoFit->setObjectName(QStringLiteral("AutoFit"));
    AutoFit->setGeometry(4, 292, 61, 17);
    connect(AutoFit, &QCheckBox::clicked, this, &TForm1::AutoFitClick);
    createPaintBoxes();

    MorphPercent = new QSlider(Qt::Horizontal, this);
    MorphPercent->setObjectName(QStringLiteral("MorphPercent"));
    MorphPercent->setGeometry(4, 460, 405, 37);
    MorphPercent->setRange(0, kTrackMax);
    MorphPercent->setValue(0);
    MorphPercent->setTickInterval(100);
    MorphPercent->setTickPosition(QSlider::TicksAbove);
    // valueChanged comes from the user's moves only: every programmatic
    // position is set under a QSignalBlocker.
    connect(MorphPercent, &QSlider::valueChanged, this, &TForm1::MorphPercentChange);
    PercentTXBX = createField("PercentTXBX", QRect(416, 472, 29, 20));
    FitFiveCharacters(PercentTXBX);
    PercentTXBX->setText(QStringLiteral("0"));
    // textChanged comes only when the text really differs from before.
    connect(PercentTXBX, &QLineEdit::textChanged, this, &TForm1::PercentTXBXChange);
    Label7 = createLabel("Label7", QStringLiteral("%"), QRect(448, 472, 11, 21));
    Label7->setFont(GothicFont(21));

    for (QLabel* label : {Label3, Label4, Label1, Label5, Label2, Label6, Label7})
        WidenToText(label);

    Button3 = MakeButton(this, "Button3", tr("保存"), QRect(12, 500, 389, 25), &TForm1::Button3Click);
    Button4 = MakeButton(this, "Button4", QStringLiteral("Close"), QRect(408, 501, 53, 25),
                           &TForm1::Button4Click);
}

void TForm1::createDialogs() {
    OpenDialog1 = std::make_unique<TQtFileDialog>(this, TFileDialogKind::Open, kOpenFilter, kSufExt);
    SaveDialog1 = std::make_unique<TQtFileDialog>(this, TFileDialogKind::Save, kSufFilter, kSufExt);
}

void TForm1::orderTabs() {
    QWidget* const order[] = {suf1name, suf2name, Refer1,       Refer2,     Button3,
                              Button4,  MorphPercent, PercentTXBX, AutoFit};
    for (std::size_t i = 0; i + 1 < std::size(order); ++i)
        setTabOrder(order[i], order[i + 1]);
}

TPaintBox* TForm1::box(TViewBox view) const { return this->*kViewBoxPlaces[view].Box; }

void TForm1::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (shown_)
        return;
    shown_ = true;
    FormShow();
}

void TForm1::FormShow() {
    for (int view = 0; view < kViewBoxCount; ++view) {
        const TPaintBox* paint_box = box(static_cast<TViewBox>(view));
        ViewBitmaps[static_cast<std::size_t>(view)] =
            std::make_unique<TBitmap>(paint_box->width(), paint_box->height());
    }
    setWindowTitle(QStringLiteral("plivra " PLIVRA_VERSION));
}

void TForm1::queueViews(TVANE_Object* Shape, TViewBox First, std::vector<TViewDrawing>& Drawings) {
    for (std::uint8_t kind = kViewXY; kind <= kViewZX; ++kind) {
        ViewSettings.ViewKind = kind;
        Drawings.push_back({Shape, static_cast<TViewBox>(First + kind), ViewSettings});
    }
}

void TForm1::drawAndRepaint(const std::vector<TViewDrawing>& Drawings, const std::int32_t* BlendPercent) {
    TVANE_Colors colours;
    VANE->DefaultViewColors(colours);
    // The views of one shape are drawn together, in one walk of it.
    for (std::size_t i = 0; i < Drawings.size();) {
        TVANE_Object* const shape = Drawings[i].Shape;
        std::vector<TSufView> views;
        for (; i < Drawings.size() && Drawings[i].Shape == shape; ++i) {
            if (TBitmap* bitmap = ViewBitmaps[static_cast<std::size_t>(Drawings[i].Box)].get())
                views.push_back({bitmap, Drawings[i].Settings});
        }
        if (BlendPercent && shape == MorphedSuf)
            BlendAndDrawSuf(Suf1, Suf2, MorphedSuf, *BlendPercent, views, colours);
        else
            DrawSufViews(shape, views, colours);
    }
    for (const TViewDrawing& drawing : Drawings)
        box(drawing.Box)->repaint();
}

void TForm1::ViewAll() {
    // Every fit comes first, in order, as each starts from the settings the
    // one before left; then all views are drawn together.
    std::vector<TViewDrawing> drawings;
    if (Suf1) {
        // One fit serves the three views of the shape.
        ViewSettings.ViewKind = kViewXY;
        VANE->FitView(Suf1, ViewSettings, ViewSettings);
        queueViews(Suf1, kSuf1XY, drawings);
    }
    if (Suf2) {
        ViewSettings.ViewKind = kViewXY;
        VANE->FitView(Suf2, ViewSettings, ViewSettings);
        queueViews(Suf2, kSuf2XY, drawings);
    }
    queuePreview(drawings);
    drawAndRepaint(drawings);
}

void TForm1::queuePreview(std::vector<TViewDrawing>& Drawings) {
    if (!MorphedSuf)
        return;
    ViewSettings.ViewKind = kViewXY;
    // Without AutoFit the preview keeps the last fit made: the target's, or
    // the start's, or the blend's own from an earlier AutoFit.
    if (AutoFit->isChecked())
        VANE->FitView(MorphedSuf, ViewSettings, ViewSettings);
    queueViews(MorphedSuf, kPreviewXY, Drawings);
}

void TForm1::PreviewAll() {
    std::vector<TViewDrawing> drawings;
    queuePreview(drawings);
    drawAndRepaint(drawings);
}

void TForm1::MorphSuf() {
    if (!MorphedSuf)
        return;
    // An invalid text still blends, at the digits read before the fault.
    // A large blend spreads over the cores by itself.
    const TIntegerReading percent = ReadInteger(PercentTXBX->text().toStdString());
    BlendSuf(Suf1, Suf2, MorphedSuf, percent.Value);
}

void TForm1::settleAfterDialog() {
    QApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    repaint();
    QApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

bool TForm1::loadChosen(TVANE_Object*& Shape) {
    settleAfterDialog();
    if (Shape)
        VANE->FreeSuf(Shape);
    TLoadedShape loaded = LoadAnyShape(LocalPath(OpenDialog1->FileName));
    Shape = loaded.Shape.release();
    if (loaded.Raised.empty())
        return true;
    ReportError(QString::fromStdString(loaded.Raised));
    return false;
}

void TForm1::showLoaded(const TVANE_Object* Shape, QLineEdit* Name) {
    if (Shape) {
        Name->setText(OpenDialog1->FileName);
        ViewAll();
    } else {
        Name->setText(QStringLiteral("error"));
    }
}

void TForm1::Refer1Click() {
    RunHandler([this] {
        if (!OpenDialog1->Execute())
            return;
        // Busy from the choice until the last view is repainted.
        TBusyCursor busy;
        // A conversion, input/output or import error is shown and ends the
        // handler here, with Suf1 empty and MorphedSuf still the copy of the
        // previous start shape.
        if (!loadChosen(Suf1))
            return;
        if (MorphedSuf)
            VANE->FreeSuf(MorphedSuf);
        MorphedSuf = VANE->CopySuf(Suf1);
        showLoaded(Suf1, suf1name);
    });
}

void TForm1::Refer2Click() {
    RunHandler([this] {
        if (!OpenDialog1->Execute())
            return;
        TBusyCursor busy;
        if (!loadChosen(Suf2))
            return;
        showLoaded(Suf2, suf2name);
    });
}

void TForm1::Button3Click() {
    RunHandler([this] {
        if (!MorphedSuf)
            return;
        if (!SaveDialog1->Execute())
            return;
        TFileOutcome saved;
        {
            TBusyCursor busy;
            settleAfterDialog();
            saved = SaveSufFile(LocalPath(SaveDialog1->FileName), MorphedSuf);
        }
        // A save that failed must not look like one that worked.
        if (!saved)
            ReportError(QString::fromStdString(saved.Message()));
    });
}

void TForm1::Button4Click() { close(); }

void TForm1::AutoFitClick() {
    RunHandler([this] { PreviewAll(); });
}

void TForm1::MorphPercentChange() {
    RunHandler([this] {
        const auto percent = static_cast<int>(
            RoundHalfEven(static_cast<Extended>(MorphPercent->value()) / 10));
        const QString text = QString::asprintf("%.3d", percent);
        if (text != PercentTXBX->text())
            PercentTXBX->setText(text);
    });
}

void TForm1::PercentTXBXChange() {
    RunHandler([this] {
        const TIntegerReading percent = ReadInteger(PercentTXBX->text().toStdString());
        if (percent.Valid) {
            // Ten times a 32-bit value may not fit in an int; the bar clamps anyway.
            const auto position =
                std::clamp<std::int64_t>(std::int64_t{percent.Value} * 10, 0, kTrackMax);
            const QSignalBlocker quiet(MorphPercent);
            MorphPercent->setValue(static_cast<int>(position));
        }
        if (AutoFit->isChecked()) {
            MorphSuf();
            PreviewAll();
            return;
        }
        // With no fit between them, the blend and the previews are made in one
        // walk of the shapes: the values and pixels of MorphSuf, then PreviewAll.
        std::vector<TViewDrawing> drawings;
        queuePreview(drawings);
        const std::int32_t blend = ReadInteger(PercentTXBX->text().toStdString()).Value;
        drawAndRepaint(drawings, &blend);
    });
}

void TForm1::copyBitmap(QPainter& Canvas, TViewBox view) {
    const TBitmap* bitmap = ViewBitmaps[static_cast<std::size_t>(view)].get();
    if (!bitmap)
        return;
    // The pixels are red, green, blue, 0xFF in memory: RGBA 8-8-8-8 as is.
    const QImage image(reinterpret_cast<const uchar*>(bitmap->Pixels()), bitmap->Width(),
                       bitmap->Height(), static_cast<qsizetype>(bitmap->Width()) * 4, QImage::Format_RGBX8888);
    Canvas.drawImage(0, 0, image);
}

void TForm1::Suf1XYPaint(QPainter& Canvas) { copyBitmap(Canvas, kSuf1XY); }
void TForm1::Suf1YZPaint(QPainter& Canvas) { copyBitmap(Canvas, kSuf1YZ); }
void TForm1::Suf1ZXPaint(QPainter& Canvas) { copyBitmap(Canvas, kSuf1ZX); }
void TForm1::Suf2XYPaint(QPainter& Canvas) { copyBitmap(Canvas, kSuf2XY); }
void TForm1::Suf2YZPaint(QPainter& Canvas) { copyBitmap(Canvas, kSuf2YZ); }
void TForm1::Suf2ZXPaint(QPainter& Canvas) { copyBitmap(Canvas, kSuf2ZX); }
void TForm1::PreviewXYPaint(QPainter& Canvas) { copyBitmap(Canvas, kPreviewXY); }
void TForm1::PreviewYZPaint(QPainter& Canvas) { copyBitmap(Canvas, kPreviewYZ); }
void TForm1::PreviewZXPaint(QPainter& Canvas) { copyBitmap(Canvas, kPreviewZX); }
