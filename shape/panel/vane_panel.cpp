#include "shape/panel/vane_panel.h"

#include <QFile>
#include <QListWidget>
#include <QPushButton>

#include "qt/application.h"
#include "qt/fonts.h"
#include "qt/widgets.h"
#include "shape/state.h"
#include "shape/text.h"
#include "shape/vane.h"

namespace {

const QString kFilter = QStringLiteral("形状ファイル|*.suf");

}  // namespace

QString DecodeName(const std::string& Bytes) {
    const std::string text = NameText(Bytes);
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

TVANE_Panel::TVANE_Panel(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("VANE"));
    setWindowTitle(tr("VANE 形状ライブラリ テスト"));
    setFont(GothicFont(12));
    // Outer size 389 × 300 with a dialog frame leaves this client area.
    setFixedSize(381, 273);
    move(975, 374);

    ListBox1 = new QListWidget(this);
    ListBox1->setObjectName(QStringLiteral("ListBox1"));
    ListBox1->setGeometry(8, 8, 217, 249);
    ListBox1->setUniformItemSizes(true);
    ListBox1->setStyleSheet(QStringLiteral("QListWidget::item { height: 12px; }"));

    FreeSufTest = MakeButton(this, "FreeSufTest", QStringLiteral("FreeSufTest"),
                               QRect(240, 80, 137, 33), &TVANE_Panel::FreeSufTestClick);
    LoadTest = MakeButton(this, "LoadTest", QStringLiteral("LoadTest"), QRect(240, 152, 137, 33),
                            &TVANE_Panel::LoadTestClick);
    SaveTest = MakeButton(this, "SaveTest", QStringLiteral("SaveTest"), QRect(240, 192, 137, 33),
                            &TVANE_Panel::SaveTestClick);
    SaveTest->setEnabled(false);
    EndButton = MakeButton(this, "EndButton", QStringLiteral("End"), QRect(240, 232, 137, 33),
                             &TVANE_Panel::EndButtonClick);

    OpenDialog1 = std::make_unique<TQtFileDialog>(this, TFileDialogKind::Open, kFilter, QString());
    SaveDialog1 = std::make_unique<TQtFileDialog>(this, TFileDialogKind::Save, kFilter,
                                                  QStringLiteral("suf"));
}

void TVANE_Panel::showLine(const QString& line) {
    ListBox1->clear();
    ListBox1->addItem(line);
}

void TVANE_Panel::FreeSufTestClick() {
    VANE->FreeSuf(TestSuf);
    ListBox1->clear();
}

void TVANE_Panel::LoadTestClick() {
    RunHandler([this] {
        if (!OpenDialog1->Execute())
            return;
        VANE->FreeSuf(TestSuf);
        {
            TBusyCursor busy;
            // A conversion or input/output error leaves here, with TestSuf
            // released and the list box as it was.
            TestSuf = VANE->LoadSuf(QFile::encodeName(OpenDialog1->FileName).toStdString());
        }
        SaveTest->setEnabled(true);
        if (!TestSuf) {
            showLine(QString::fromStdString(SufErrorMessage));
            return;
        }
        ListBox1->clear();
        for (TVANE_Object* object = TestSuf; object; object = object->Next)
            ListBox1->addItem(DecodeName(object->Name));
    });
}

void TVANE_Panel::SaveTestClick() {
    RunHandler([this] {
        if (!SaveDialog1->Execute())
            return;
        bool saved;
        {
            TBusyCursor busy;
            saved = VANE->SaveSuf(QFile::encodeName(SaveDialog1->FileName).toStdString(), TestSuf);
        }
        if (!saved)
            showLine(QString::fromStdString(SufErrorMessage));
    });
}

void TVANE_Panel::EndButtonClick() { close(); }
