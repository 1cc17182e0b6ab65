#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include "shape/panel/vane_panel.h"
#include "shape/state.h"
#include "window_fixture.h"

namespace {

// Two one-triangle objects, a before b.
constexpr char kTwoObjects[] =
    "obj suf a {\r\nprim poly ( 0 0 0 1 0 0 0 1 0 )\r\n}\r\n"
    "obj suf b {\r\nprim poly ( 0 0 0 2 0 0 0 2 0 )\r\n}\r\n";
// "obj" followed by a word other than "suf" on line 1.
constexpr char kUnknownFormat[] = "obj xyz a {\r\n}\r\n";
// A vertex value that is not a number.
constexpr char kNotANumber[] = "obj suf a {\r\nprim poly ( 0 0 0 1 0 0 0 1 x )\r\n}\r\n";
// One object named テスト in Shift-JIS.
constexpr char kShiftJisName[] =
    "obj suf \x83\x65\x83\x58\x83\x67 {\r\nprim poly ( 0 0 0 1 0 0 0 1 0 )\r\n}\r\n";

QStringList Lines(const QListWidget* list) {
    QStringList lines;
    for (int i = 0; i < list->count(); ++i)
        lines << list->item(i)->text();
    return lines;
}

}  // namespace

class PanelTest : public QObject {
    Q_OBJECT

    QTemporaryDir dir_;
    TVANE_Panel* panel_ = nullptr;
    TFakeDialog* open_ = nullptr;
    TFakeDialog* save_ = nullptr;

private slots:
    void init() {
        VANE_SourceInitialize();
        panel_ = new TVANE_Panel;
        auto open = std::make_unique<TFakeDialog>();
        auto save = std::make_unique<TFakeDialog>();
        open_ = open.get();
        save_ = save.get();
        panel_->OpenDialog1 = std::move(open);
        panel_->SaveDialog1 = std::move(save);
        panel_->show();
    }

    void cleanup() {
        delete panel_;
        VANE_SourceFinalize();
    }

    void listsObjectNamesInOrderAndSavesThemAgain() {
        QVERIFY(!panel_->SaveTest->isEnabled());
        open_->Answers = {WriteShapeFile(dir_, "two.suf", kTwoObjects)};
        QTest::mouseClick(panel_->LoadTest, Qt::LeftButton);
        QCOMPARE(Lines(panel_->ListBox1), QStringList({"a", "b"}));
        QVERIFY(panel_->SaveTest->isEnabled());

        const QString copy = dir_.filePath("copy.suf");
        save_->Answers = {copy};
        QTest::mouseClick(panel_->SaveTest, Qt::LeftButton);
        QCOMPARE(Lines(panel_->ListBox1), QStringList({"a", "b"}));
        open_->Answers = {copy};
        QTest::mouseClick(panel_->LoadTest, Qt::LeftButton);
        QCOMPARE(Lines(panel_->ListBox1), QStringList({"a", "b"}));
    }

    void showsTheReaderErrorAndEnablesSaving() {
        open_->Answers = {WriteShapeFile(dir_, "unknown.suf", kUnknownFormat)};
        QTest::mouseClick(panel_->LoadTest, Qt::LeftButton);
        QCOMPARE(Lines(panel_->ListBox1),
                 QStringList({QStringLiteral("1行において未知の形式の形状ファイルです。")}));
        QVERIFY(panel_->SaveTest->isEnabled());
        QVERIFY(TestSuf == nullptr);
    }

    void failedSaveShowsTheCause() {
        open_->Answers = {WriteShapeFile(dir_, "two.suf", kTwoObjects)};
        QTest::mouseClick(panel_->LoadTest, Qt::LeftButton);
        save_->Answers = {dir_.filePath("no/such/folder/out.suf")};
        QTest::mouseClick(panel_->SaveTest, Qt::LeftButton);
        QCOMPARE(panel_->ListBox1->count(), 1);
        QCOMPARE(panel_->ListBox1->item(0)->text(), QString::fromStdString(SufErrorMessage));
        QVERIFY(!SufErrorMessage.empty());
    }

    void freeTwiceLeavesAnEmptyList() {
        open_->Answers = {WriteShapeFile(dir_, "two.suf", kTwoObjects)};
        QTest::mouseClick(panel_->LoadTest, Qt::LeftButton);
        QTest::mouseClick(panel_->FreeSufTest, Qt::LeftButton);
        QTest::mouseClick(panel_->FreeSufTest, Qt::LeftButton);
        QCOMPARE(panel_->ListBox1->count(), 0);
        QVERIFY(TestSuf == nullptr);
        QVERIFY(panel_->SaveTest->isEnabled());
    }

    void loadErrorIsReportedAndKeepsTheList() {
        open_->Answers = {WriteShapeFile(dir_, "two.suf", kTwoObjects),
                          WriteShapeFile(dir_, "bad.suf", kNotANumber)};
        QTest::mouseClick(panel_->LoadTest, Qt::LeftButton);
        TErrorRecorder errors;
        QTest::mouseClick(panel_->LoadTest, Qt::LeftButton);
        QCOMPARE(errors.Messages,
                 QStringList({QStringLiteral("'x' は浮動小数点数ではありません")}));
        QVERIFY(TestSuf == nullptr);
        QCOMPARE(Lines(panel_->ListBox1), QStringList({"a", "b"}));
    }

    void escapedErrorIsShownInAMessageBox() {
        open_->Answers = {WriteShapeFile(dir_, "bad.suf", kNotANumber)};
        QString shown;
        QTimer::singleShot(0, [&shown] {
            if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
                shown = box->text();
                box->accept();
            }
        });
        QTest::mouseClick(panel_->LoadTest, Qt::LeftButton);
        QCOMPARE(shown, QStringLiteral("'x' は浮動小数点数ではありません"));
        // The event loop goes on: the window still answers.
        QTest::mouseClick(panel_->FreeSufTest, Qt::LeftButton);
        QCOMPARE(panel_->ListBox1->count(), 0);
    }

    void namesAreDecodedNotGarbled() {
        open_->Answers = {WriteShapeFile(dir_, "sjis.suf", kShiftJisName)};
        QTest::mouseClick(panel_->LoadTest, Qt::LeftButton);
        QCOMPARE(Lines(panel_->ListBox1), QStringList({QStringLiteral("テスト")}));

        QCOMPARE(DecodeName("cube"), QStringLiteral("cube"));
        QCOMPARE(DecodeName("\xe5\xbd\xa2"), QStringLiteral("形"));  // UTF-8 wins when valid
        QCOMPARE(DecodeName("\xff" "A\x80"), QStringLiteral("ÿA\u0080"));  // neither: Latin-1
        QCOMPARE(DecodeName("\x87\x40"), QStringLiteral("①"));               // CP932's NEC row
    }

    void dialogFiltersAreWrittenForQt() {
        QCOMPARE(QtFileFilter(QStringLiteral("形状ファイル|*.suf")),
                 QStringLiteral("形状ファイル (*.suf)"));
        QCOMPARE(QtFileFilter(QStringLiteral("Shapes|*.suf;*.SUF|All|*")),
                 QStringLiteral("Shapes (*.suf *.SUF);;All (*)"));
    }

    void endClosesTheWindow() {
        QVERIFY(panel_->isVisible());
        QTest::mouseClick(panel_->EndButton, Qt::LeftButton);
        QVERIFY(!panel_->isVisible());
    }
};

int RunPanelTests(int argc, char** argv) {
    PanelTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "panel_test.moc"
