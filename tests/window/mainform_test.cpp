#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QSignalSpy>
#include <QSlider>
#include <QTest>
#include <cstring>
#include <vector>

#include "app/morph.h"
#include "app/plivra_mainform.h"
#include "shape/probes.h"
#include "shape/state.h"
#include "shape/vane.h"
#include "view/canvas.h"
#include "window_fixture.h"

namespace {

//  y          z
//  |\         |\        start: two right triangles of legs 10,
//  |_\ x      |_\ x     one in the XY plane, one in the XZ plane
constexpr char kStart[] =
    "obj suf s {\r\natr white\r\n"
    "prim poly ( 0 0 0 10 0 0 0 10 0 )\r\nprim poly ( 0 0 0 0 0 10 10 0 0 )\r\n}\r\n";
// The same triangles with legs 30 (x), 20 (y) and 40 (z).
constexpr char kTarget[] =
    "obj suf t {\r\natr white\r\n"
    "prim poly ( 0 0 0 30 0 0 0 20 0 )\r\nprim poly ( 0 0 0 0 0 40 30 0 0 )\r\n}\r\n";
// Another target, moved by (5, 5, 5) and with legs 5.
constexpr char kOtherTarget[] =
    "obj suf u {\r\n"
    "prim poly ( 5 5 5 10 5 5 5 10 5 )\r\nprim poly ( 5 5 5 5 5 10 10 5 5 )\r\n}\r\n";
// The start's triangles moved by 1e308 along X: a blend at 200 percent
// lies beyond the double range.
constexpr char kFarTarget[] =
    "obj suf f {\r\natr white\r\n"
    "prim poly ( 1e308 0 0 1e308 0 0 1e308 10 0 )\r\nprim poly ( 1e308 0 0 1e308 0 10 1e308 0 0 )\r\n}\r\n";
// "obj" not followed by "suf": read as no shape.
constexpr char kUnknownFormat[] = "obj xyz s {\r\n}\r\n";
// A vertex value that is not a number: LoadSuf throws.
constexpr char kNotANumber[] = "obj suf s {\r\nprim poly ( 0 0 0 1 0 0 0 1 x )\r\n}\r\n";

// A sheet of Triangles triangles in rows of 100, lifted by Lift times a
// wave.
QByteArray Sheet(int triangles, double lift) {
    QByteArray text = "obj suf sheet {\r\n";
    for (int t = 0; t < triangles; ++t) {
        const int x = t / 2 % 50, y = t / 100, upper = t % 2;
        const double z = lift * ((x * 7 + y * 3) % 11);
        text += QByteArray("prim poly ( ") + QByteArray::number(x) + ' ' + QByteArray::number(y) + ' ' +
                QByteArray::number(z) + ' ' + QByteArray::number(x + 1) + ' ' + QByteArray::number(y + upper) +
                " 0 " + QByteArray::number(x + upper) + ' ' + QByteArray::number(y + 1) + ' ' +
                QByteArray::number(-z) + " )\r\n";
    }
    return text + "}\r\n";
}

// Every vertex value of the list in walk order.
std::vector<Extended> Values(const TVANE_Object* shape) {
    std::vector<Extended> values;
    for (; shape; shape = shape->Next)
        for (const TVANE_Polygon* poly = shape->Polygons; poly; poly = poly->Next)
            for (const TVANE_Vertex* v = poly->Vertices; v; v = v->Next)
                values.insert(values.end(), {v->X, v->Y, v->Z, v->NX, v->NY, v->NZ, v->U, v->V});
    return values;
}

// What a blend at Percent must give, value by value.
std::vector<Extended> Blended(const std::vector<Extended>& start,
                              const std::vector<Extended>& target, Extended percent) {
    std::vector<Extended> values;
    for (std::size_t i = 0; i < start.size(); ++i)
        values.push_back(start[i] + percent * ((target[i] - start[i]) / 100));
    return values;
}

// The colours of a view's bitmap, row by row.
std::vector<TVANE_Color> PixelsOf(TViewBox view) {
    const TBitmap& bitmap = *ViewBitmaps[view];
    std::vector<TVANE_Color> pixels;
    for (std::int32_t y = 0; y < bitmap.Height(); ++y)
        for (std::int32_t x = 0; x < bitmap.Width(); ++x)
            pixels.push_back(bitmap.Pixel(x, y));
    return pixels;
}

TVANE_Colors DefaultColours() {
    TVANE_Colors colours;
    VANE->DefaultViewColors(colours);
    return colours;
}

}  // namespace

class MainFormTest : public QObject {
    Q_OBJECT

    QTemporaryDir dir_;
    QString start_, target_, other_target_, far_target_, unknown_, not_a_number_;
    TForm1* form_ = nullptr;
    TFakeDialog* open_ = nullptr;
    TFakeDialog* save_ = nullptr;

    // A move of the track bar by the user, as a drag does it.
    void drag(int position) {
        form_->MorphPercent->setSliderDown(true);
        form_->MorphPercent->setSliderPosition(position);
        form_->MorphPercent->setSliderDown(false);
    }

    void type(const QString& text) {
        form_->PercentTXBX->setFocus();
        form_->PercentTXBX->selectAll();
        if (text.isEmpty())
            QTest::keyClick(form_->PercentTXBX, Qt::Key_Backspace);
        else
            QTest::keyClicks(form_->PercentTXBX, text);
    }

    void load(QPushButton* button, const QString& file) {
        open_->Answers = {file};
        QTest::mouseClick(button, Qt::LeftButton);
    }

    // Saves through "保存" and returns the bytes written ("" when no file came).
    QByteArray saveBlend(const QString& name) {
        const QString path = dir_.filePath(name);
        save_->Answers = {path};
        QTest::mouseClick(form_->Button3, Qt::LeftButton);
        return ReadBytes(path);
    }

private slots:
    void initTestCase() {
        start_ = WriteShapeFile(dir_, "start.suf", kStart);
        target_ = WriteShapeFile(dir_, "target.suf", kTarget);
        other_target_ = WriteShapeFile(dir_, "other.suf", kOtherTarget);
        far_target_ = WriteShapeFile(dir_, "far.suf", kFarTarget);
        unknown_ = WriteShapeFile(dir_, "unknown.suf", kUnknownFormat);
        not_a_number_ = WriteShapeFile(dir_, "nan.suf", kNotANumber);
    }

    void init() {
        VANE_SourceInitialize();
        plivra_mainformInitialize();
        form_ = new TForm1;
        Form1 = form_;
        auto open = std::make_unique<TFakeDialog>();
        auto save = std::make_unique<TFakeDialog>();
        open_ = open.get();
        save_ = save.get();
        form_->OpenDialog1 = std::move(open);
        form_->SaveDialog1 = std::move(save);
    }

    void cleanup() {
        delete form_;
        Form1 = nullptr;
        plivra_mainformFinalize();
        VANE_SourceFinalize();
    }

    void layoutAndStartState() {
        QCOMPARE(form_->windowTitle(), QStringLiteral("簡易形状モーフィングツール"));
        form_->show();
        QVERIFY(form_->windowTitle().startsWith(QStringLiteral("plivra ")));
        QCOMPARE(form_->size(), QSize(468, 529));
        QCOMPARE(form_->minimumSize(), form_->maximumSize());
        QVERIFY(!(form_->windowFlags() &
                  (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint)));

        const struct {
            const char* name;
            QRect geometry;
        } layout[] = {
            {"suf1name", {92, 40, 329, 20}},
            {"Refer1", {424, 40, 41, 21}},     {"Suf1ZX", {216, 64, 97, 85}},
            {"Bevel1", {4, 161, 465, 3}},
            {"suf2name", {92, 172, 329, 20}},  {"Suf2ZX", {214, 196, 97, 85}},
            {"AutoFit", {4, 292, 61, 17}},
            {"PreviewZX", {316, 312, 149, 141}}, {"MorphPercent", {4, 460, 405, 37}},
            {"PercentTXBX", {416, 472, 29, 20}}, {"Button3", {12, 500, 389, 25}},
            {"Button4", {408, 501, 53, 25}},
        };
        for (const auto& control : layout) {
            const auto* widget = form_->findChild<QWidget*>(QString::fromLatin1(control.name));
            QVERIFY2(widget, control.name);
            QCOMPARE(widget->geometry(), control.geometry);
        }
        // Labels keep their place and height, and their width unless the
        // installed font needs more room for the text ("%" in 21 pixels does).
        const struct {
            QLabel* label;
            QRect geometry;
        } labels[] = {
            {form_->Label3, {72, 4, 321, 12}},   {form_->Label4, {72, 20, 318, 12}},
            {form_->Label1, {12, 44, 73, 12}},   {form_->Label5, {324, 92, 125, 24}},
            {form_->Label2, {16, 176, 71, 12}},  {form_->Label6, {324, 228, 126, 21}},
            {form_->Label7, {448, 472, 11, 21}},
        };
        for (const auto& l : labels) {
            const int text_width = l.label->fontMetrics().horizontalAdvance(l.label->text());
            QCOMPARE(l.label->pos(), l.geometry.topLeft());
            QCOMPARE(l.label->height(), l.geometry.height());
            QVERIFY2(l.label->width() >= text_width, qPrintable(l.label->objectName()));
            if (text_width <= l.geometry.width())
                QCOMPARE(l.label->width(), l.geometry.width());
            QVERIFY(l.label->geometry().right() < form_->width());
        }
        QCOMPARE(form_->Label5->font().pixelSize(), 24);
        QCOMPARE(form_->Label1->text(), QStringLiteral("形状ファイル１"));
        QCOMPARE(form_->Label2->text(), QStringLiteral("形状ファイル2"));

        // Tab order: the focus chain visits the controls in this order.
        const QWidget* order[] = {form_->suf1name, form_->suf2name, form_->Refer1, form_->Refer2,
                                  form_->Button3, form_->Button4, form_->MorphPercent,
                                  form_->PercentTXBX, form_->AutoFit};
        for (std::size_t i = 0; i + 1 < std::size(order); ++i) {
            const QWidget* next = order[i]->nextInFocusChain();
            while (next->focusPolicy() == Qt::NoFocus)
                next = next->nextInFocusChain();
            QCOMPARE(next, order[i + 1]);
        }

        QCOMPARE(form_->PercentTXBX->text(), QStringLiteral("0"));
        QCOMPARE(form_->MorphPercent->value(), 0);
        QVERIFY(!form_->AutoFit->isChecked());
        for (int view = 0; view < kViewBoxCount; ++view) {
            QVERIFY(ViewBitmaps[view]);
            QCOMPARE(ViewBitmaps[view]->Width(), view < kPreviewXY ? 97 : 149);
            QCOMPARE(ViewBitmaps[view]->Height(), view < kPreviewXY ? 85 : 141);
        }
    }

    void trackBarAndFieldFeedEachOther() {
        form_->show();
        QSignalSpy text_changes(form_->PercentTXBX, &QLineEdit::textChanged);

        drag(537);
        QCOMPARE(form_->PercentTXBX->text(), QStringLiteral("054"));
        QCOMPARE(form_->MorphPercent->value(), 540);

        drag(500);
        const int changes = static_cast<int>(text_changes.count());
        drag(504);  // still 050: neither the field nor the bar moves
        QCOMPARE(form_->PercentTXBX->text(), QStringLiteral("050"));
        QCOMPARE(form_->MorphPercent->value(), 504);
        QCOMPARE(text_changes.count(), changes);

        type("7");
        QCOMPARE(form_->PercentTXBX->text(), QStringLiteral("7"));
        QCOMPARE(form_->MorphPercent->value(), 70);
        drag(71);
        QCOMPARE(form_->PercentTXBX->text(), QStringLiteral("007"));
        QCOMPARE(form_->MorphPercent->value(), 70);

        // Typed values are not rewritten into three digits, also beyond the range.
        type("150");
        QCOMPARE(form_->PercentTXBX->text(), QStringLiteral("150"));
        QCOMPARE(form_->MorphPercent->value(), 1000);
        type("-50");
        QCOMPARE(form_->PercentTXBX->text(), QStringLiteral("-50"));
        QCOMPARE(form_->MorphPercent->value(), 0);
        type("5a");
        QCOMPARE(form_->MorphPercent->value(), 50);
        type("");
        QCOMPARE(form_->MorphPercent->value(), 50);

        // Keys move the bar like a drag does; 505 rounds to 50, halves to even.
        QTest::keyClick(form_->MorphPercent, Qt::Key_End);
        QCOMPARE(form_->PercentTXBX->text(), QStringLiteral("100"));
        drag(505);
        QCOMPARE(form_->PercentTXBX->text(), QStringLiteral("050"));
        QCOMPARE(form_->MorphPercent->value(), 500);
        drag(515);
        QCOMPARE(form_->PercentTXBX->text(), QStringLiteral("052"));
    }

    void blendFollowsTheField_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("percent");
        QTest::newRow("typed 150 goes beyond the target") << "150" << 150;
        QTest::newRow("typed -50 goes away from it") << "-50" << -50;
        QTest::newRow("5a blends at the digits read") << "5a" << 5;
        QTest::newRow("-20x keeps the sign of the digits read") << "-20x" << -20;
        QTest::newRow("-20 and a blank too") << "-20 " << -20;
        QTest::newRow("empty blends at 0") << "" << 0;
        QTest::newRow("hexadecimal") << "$32" << 50;
    }

    void blendFollowsTheField() {
        QFETCH(QString, text);
        QFETCH(int, percent);
        form_->show();
        load(form_->Refer1, start_);
        load(form_->Refer2, target_);
        type("33");
        type(text);
        QCOMPARE(Values(MorphedSuf), Blended(Values(Suf1), Values(Suf2), percent));
    }

    void blendFollowsTheDrag() {
        form_->show();
        load(form_->Refer1, start_);
        load(form_->Refer2, target_);
        drag(537);
        QCOMPARE(Values(MorphedSuf), Blended(Values(Suf1), Values(Suf2), 54));
    }

    void whatWorksInWhichState_data() {
        QTest::addColumn<bool>("with_start");
        QTest::addColumn<bool>("with_target");
        QTest::newRow("nothing") << false << false;
        QTest::newRow("start only") << true << false;
        QTest::newRow("target only") << false << true;
        QTest::newRow("both") << true << true;
    }

    void whatWorksInWhichState() {
        QFETCH(bool, with_start);
        QFETCH(bool, with_target);
        form_->show();
        if (with_start)
            load(form_->Refer1, start_);
        if (with_target)
            load(form_->Refer2, target_);
        type("50");

        const TVANE_Colors colours = DefaultColours();
        // The top right of every view lies away from the triangles' edges.
        const TVANE_Color corner = ViewBitmaps[kPreviewXY]->Pixel(148, 0);
        QCOMPARE(corner == colours.BackgroundColor, with_start);
        const QByteArray saved = saveBlend("state.suf");
        QCOMPARE(save_->Executed, with_start ? 1 : 0);
        if (!with_start)
            return;
        QVERIFY(!saved.isEmpty());
        TVANE_Object* reread = VANE->LoadSuf(dir_.filePath("state.suf").toStdString());
        const std::vector<Extended> start = Values(Suf1);
        const std::vector<Extended> expected =
            with_target ? Blended(start, Values(Suf2), 50) : start;
        QCOMPARE(Values(MorphedSuf), expected);
        QCOMPARE(Values(reread).size(), expected.size());
        VANE->FreeSuf(reread);
    }

    void previewsShowTheShapeOnTheBackground() {
        form_->show();
        load(form_->Refer1, start_);
        const TVANE_Colors colours = DefaultColours();
        for (TViewBox view : {kSuf1XY, kSuf1YZ, kSuf1ZX, kPreviewXY, kPreviewYZ, kPreviewZX}) {
            const std::vector<TVANE_Color> pixels = PixelsOf(view);
            const TBitmap& bitmap = *ViewBitmaps[view];
            QCOMPARE(bitmap.Pixel(bitmap.Width() - 1, 0), colours.BackgroundColor);
            const auto edges = std::count_if(pixels.begin(), pixels.end(), [&](TVANE_Color p) {
                return p == colours.MarkedLineColor;
            });
            const auto grid = std::count_if(pixels.begin(), pixels.end(), [&](TVANE_Color p) {
                return p == colours.GridColor;
            });
            QVERIFY2(edges > 10, "the shape's edges are drawn");
            QCOMPARE(grid, 0);
        }
        // The box shows its bitmap.
        const QImage shown = form_->PreviewXY->grab().toImage();
        const TBitmap& bitmap = *ViewBitmaps[kPreviewXY];
        for (int y = 0; y < bitmap.Height(); y += 7)
            for (int x = 0; x < bitmap.Width(); x += 5) {
                const TVANE_Color c = bitmap.Pixel(x, y);
                QCOMPARE(shown.pixelColor(x, y), QColor(int(c & 0xFF), int((c >> 8) & 0xFF),
                                                        int((c >> 16) & 0xFF)));
            }
    }

    void loadsKeepTheBlendUntilThePercentageChanges() {
        form_->show();
        load(form_->Refer1, start_);
        load(form_->Refer2, target_);
        type("50");
        // A new start shape previews its plain copy while the field says 50.
        load(form_->Refer1, start_);
        QCOMPARE(Values(MorphedSuf), Values(Suf1));
        type("40");
        const std::vector<Extended> blend = Blended(Values(Suf1), Values(Suf2), 40);
        QCOMPARE(Values(MorphedSuf), blend);
        // Another target redraws, still with the blend against the previous one.
        load(form_->Refer2, other_target_);
        QCOMPARE(Values(MorphedSuf), blend);
        type("41");
        QCOMPARE(Values(MorphedSuf), Blended(Values(Suf1), Values(Suf2), 41));
    }

    void failedStartLoadKeepsPicturesAndDisablesSaving() {
        form_->show();
        load(form_->Refer1, start_);
        const std::vector<TVANE_Color> start_view = PixelsOf(kSuf1XY);
        const std::vector<TVANE_Color> preview = PixelsOf(kPreviewXY);
        load(form_->Refer1, unknown_);
        QCOMPARE(form_->suf1name->text(), QStringLiteral("error"));
        QVERIFY(Suf1 == nullptr);
        QVERIFY(MorphedSuf == nullptr);
        QCOMPARE(PixelsOf(kSuf1XY), start_view);
        QCOMPARE(PixelsOf(kPreviewXY), preview);
        saveBlend("nothing.suf");
        QCOMPARE(save_->Executed, 0);

        load(form_->Refer2, unknown_);
        QCOMPARE(form_->suf2name->text(), QStringLiteral("error"));
    }

    void loadErrorIsShownAndTheOldBlendStays() {
        form_->show();
        load(form_->Refer1, start_);
        QCOMPARE(form_->suf1name->text(), start_);
        const std::vector<TVANE_Color> start_view = PixelsOf(kSuf1XY);
        const std::vector<TVANE_Color> preview = PixelsOf(kPreviewXY);
        TErrorRecorder errors;
        // Called as a handler, not through an event: the error is shown by
        // the handler itself and does not leave it.
        open_->Answers = {not_a_number_};
        form_->Refer1Click();
        QCOMPARE(errors.Messages,
                 QStringList({QStringLiteral("'x' は浮動小数点数ではありません")}));
        QCOMPARE(form_->suf1name->text(), start_);
        QCOMPARE(PixelsOf(kSuf1XY), start_view);
        QCOMPARE(PixelsOf(kPreviewXY), preview);
        QVERIFY(Suf1 == nullptr);
        QVERIFY(MorphedSuf != nullptr);
        // The copy of the previous start shape is still there to save.
        QVERIFY(!saveBlend("kept.suf").isEmpty());
        TVANE_Object* kept = VANE->LoadSuf(dir_.filePath("kept.suf").toStdString());
        TVANE_Object* start = VANE->LoadSuf(start_.toStdString());
        QCOMPARE(Values(kept), Values(start));
        VANE->FreeSuf(kept);
        VANE->FreeSuf(start);

        // The same for the target, and the window goes on working.
        load(form_->Refer2, target_);
        open_->Answers = {not_a_number_};
        form_->Refer2Click();
        QCOMPARE(errors.Messages.size(), 2);
        QCOMPARE(errors.Messages[1], errors.Messages[0]);
        QCOMPARE(form_->suf2name->text(), target_);
        QVERIFY(Suf2 == nullptr);
        load(form_->Refer1, start_);
        load(form_->Refer2, target_);
        QCOMPARE(form_->suf2name->text(), target_);
        QVERIFY(Suf2 != nullptr);
        QCOMPARE(errors.Messages.size(), 2);
    }

    void failedSaveIsReported() {
        form_->show();
        load(form_->Refer1, start_);
        TErrorRecorder errors;
        saveBlend("no/such/folder/out.suf");
        QCOMPARE(errors.Messages.size(), 1);
        QCOMPARE(errors.Messages[0], QString::fromStdString(SufErrorMessage));
        QVERIFY(errors.Messages[0].contains(QStringLiteral("out.suf")));
    }

    void cancelledDialogsChangeNothing() {
        form_->show();
        load(form_->Refer1, start_);
        open_->Answers = {std::nullopt};
        QTest::mouseClick(form_->Refer1, Qt::LeftButton);
        QVERIFY(Suf1 != nullptr);
        QCOMPARE(form_->suf1name->text(), start_);
        save_->Answers = {std::nullopt};
        QTest::mouseClick(form_->Button3, Qt::LeftButton);
        QCOMPARE(save_->Executed, 1);
    }

    void autoFitRefitsThePreviewAndKeepsThatFit() {
        form_->show();
        load(form_->Refer1, start_);
        load(form_->Refer2, target_);
        type("0");
        auto fit_of = [](TVANE_Object* shape) {
            TVANE_ViewSettings settings = ViewSettings;
            settings.ViewKind = kViewXY;
            VANE->FitView(shape, settings, settings);
            return settings.Camera.HalfSize;
        };
        const Extended target_fit = fit_of(Suf2);
        const Extended result_fit = fit_of(MorphedSuf);
        QVERIFY(target_fit != result_fit);
        QCOMPARE(ViewSettings.Camera.HalfSize, target_fit);

        QTest::mouseClick(form_->AutoFit, Qt::LeftButton);
        QCOMPARE(ViewSettings.Camera.HalfSize, result_fit);
        QTest::mouseClick(form_->AutoFit, Qt::LeftButton);
        type("100");
        QCOMPARE(ViewSettings.Camera.HalfSize, result_fit);
    }

    void autoFitBeyondDoublesIsShownAndKeepsTheFit() {
        form_->show();
        load(form_->Refer1, start_);
        load(form_->Refer2, far_target_);
        TErrorRecorder errors;
        type("200");  // without AutoFit nothing is fitted
        QVERIFY(errors.Messages.isEmpty());
        const TVANE_ViewSettings before = ViewSettings;
        QTest::mouseClick(form_->AutoFit, Qt::LeftButton);
        QCOMPARE(errors.Messages,
                 QStringList({QStringLiteral("表示を合わせられません（中心の X 座標 2E+308 は"
                                             "倍精度浮動小数点数の範囲を超えています）。")}));
        QCOMPARE(ViewSettings.Camera.ViewCentre.X, before.Camera.ViewCentre.X);
        QCOMPARE(ViewSettings.Camera.HalfSize, before.Camera.HalfSize);
    }

    void sameFileForBothShapesBlendsToTheStart() {
        form_->show();
        load(form_->Refer1, start_);
        load(form_->Refer2, start_);
        type("70");
        QCOMPARE(Values(MorphedSuf), Values(Suf1));
        // The open dialog serves both buttons and starts from the last choice.
        QCOMPARE(open_->FileName, start_);
    }

    void savedBlendEqualsTheBatchTool() {
        form_->show();
        load(form_->Refer1, start_);
        load(form_->Refer2, target_);
        type("50");
        const QByteArray window = saveBlend("window.suf");
        const QString batch = dir_.filePath("batch.suf");
        QProcess cli;
        cli.start(QStringLiteral(PLIVRA_BINARY_DIR "/plivra-cli"),
                  {"morph", start_, target_, "50", batch});
        QVERIFY(cli.waitForFinished());
        QCOMPARE(cli.exitCode(), 0);
        QVERIFY(!window.isEmpty());
        QCOMPARE(window, ReadBytes(batch));
    }

    // Large shapes are blended and drawn on several threads: the result and
    // the previews are those that one thread makes.
    void largeShapesBlendAndDrawAsOneThreadDoes() {
        // Shapes of 6,000 polygons count as large here.
        const std::size_t threshold = SufParallelPolygons;
        SufParallelPolygons = 1024;
        const QString start = WriteShapeFile(dir_, "sheet1.suf", Sheet(6000, 0.5).constData());
        const QString target = WriteShapeFile(dir_, "sheet2.suf", Sheet(6000, 2).constData());
        form_->show();
        load(form_->Refer1, start);
        load(form_->Refer2, target);
        // Blended and drawn in one walk, then with a fit between the two.
        for (const bool fit : {false, true}) {
            form_->AutoFit->setChecked(fit);
            const std::int32_t percent = fit ? 37 : -12;
            type(QString::number(percent));

            TVANE_Object* expected = VANE->CopySuf(Suf1);
            BlendSuf(Suf1, Suf2, expected, percent);
            QVERIFY(Values(MorphedSuf) == Values(expected));
            TVANE_ViewSettings settings = ViewSettings;
            for (std::uint8_t kind = 0; kind < 3; ++kind) {
                settings.ViewKind = kind;
                const auto view = static_cast<TViewBox>(kPreviewXY + kind);
                TBitmap drawn(ViewBitmaps[view]->Width(), ViewBitmaps[view]->Height());
                VANE->DrawSuf(expected, drawn, settings, DefaultColours());
                QVERIFY(std::memcmp(drawn.Pixels(), ViewBitmaps[view]->Pixels(),
                                    static_cast<std::size_t>(drawn.Width() * drawn.Height()) * 4) == 0);
            }
            VANE->FreeSuf(expected);
        }
        SufParallelPolygons = threshold;
    }

    // The field shows five characters whole inside its box: it paints the
    // same whether it keeps its first or its last character in sight.
    void percentageFieldShowsFiveCharacters() {
        form_->show();
        QLineEdit* field = form_->PercentTXBX;
        QCOMPARE(field->geometry(), QRect(416, 472, 29, 20));
        QCOMPARE(field->font().pixelSize(), 12);
        const auto painted = [field](int cursor) {
            field->setCursorPosition(cursor);
            return field->grab().toImage();
        };
        for (const QString& text : {QStringLiteral("-1000"), QStringLiteral("1000")}) {
            field->setText(text);
            QVERIFY2(painted(0) == painted(static_cast<int>(text.size())), qPrintable(text));
        }
    }

    void importedMeshesBlendLikeShapeFiles() {
        // Two quads of one topology, the second raised by one.
        const QString start = WriteShapeFile(dir_, "quad.obj", "v 0 0 0\nv 1 0 0\nv 1 1 0\nv 0 1 0.1\nf 1 2 3 4\n");
        const QString target = WriteShapeFile(dir_, "quad_up.obj", "v 0 0 1\nv 1 0 1\nv 1 1 1\nv 0 1 1.1\nf 1 2 3 4\n");
        const QString bad = WriteShapeFile(dir_, "bad.obj", "v 0 0 0\nv 1 x 0\nf 1 2 1\n");
        form_->show();
        load(form_->Refer1, start);
        load(form_->Refer2, target);
        QCOMPARE(form_->suf1name->text(), start);
        type("30");
        const QByteArray window = saveBlend("quad_window.suf");
        const QString batch = dir_.filePath("quad_batch.suf");
        QProcess cli;
        cli.start(QStringLiteral(PLIVRA_BINARY_DIR "/plivra-cli"), {"morph", start, target, "30", batch});
        QVERIFY(cli.waitForFinished());
        QCOMPARE(cli.exitCode(), 0);
        QVERIFY(!window.isEmpty());
        QCOMPARE(window, ReadBytes(batch));

        TErrorRecorder errors;
        load(form_->Refer2, bad);
        QCOMPARE(errors.Messages, QStringList({bad + QStringLiteral(": line 2: 'x' is not a number")}));
        QVERIFY(Suf2 == nullptr);
    }

    void closeEndsTheWindow() {
        form_->show();
        QTest::mouseClick(form_->Button4, Qt::LeftButton);
        QVERIFY(!form_->isVisible());
    }
};

int RunMainFormTests(int argc, char** argv) {
    MainFormTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "mainform_test.moc"
