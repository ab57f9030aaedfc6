// SPDX-License-Identifier: GPL-3.0-or-later
#include "complaint/DoNotSendList.h"
#include "dialogs/dlgConfigure.h"
#include "tests/support/FixedLayoutCheck.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <optional>
#include <sys/resource.h>

using namespace Qt::StringLiterals;

namespace {

// The dialog with its message box replaced by a record of the texts.
class RecordingConfigure final : public dlgConfigure
{
public:
    using dlgConfigure::dlgConfigure;
    QStringList failures;

protected:
    void reportFailure(const QString& text) override { failures.append(text); }
};

// While this lives, no file of the process may grow beyond `bytes`: a full disk
// that binds root as well. The signal the kernel sends at the limit is ignored,
// so that the write fails with EFBIG instead.
class FileSizeLimit final
{
public:
    explicit FileSizeLimit(rlim_t bytes)
    {
        ::getrlimit(RLIMIT_FSIZE, &m_saved);
        m_handler = std::signal(SIGXFSZ, SIG_IGN);
        const rlimit limited{bytes, m_saved.rlim_max};
        ::setrlimit(RLIMIT_FSIZE, &limited);
    }
    ~FileSizeLimit()
    {
        ::setrlimit(RLIMIT_FSIZE, &m_saved);
        std::signal(SIGXFSZ, m_handler);
    }
    Q_DISABLE_COPY_MOVE(FileSizeLimit)

private:
    rlimit m_saved{};
    void (*m_handler)(int) = nullptr;
};

QStringList rows(const dlgConfigure& dialog)
{
    const auto* list = dialog.findChild<QListWidget*>(u"lstDoNotSend"_s);
    QStringList texts;
    for (int row = 0; row < list->count(); ++row) {
        texts.append(list->item(row)->text());
    }
    return texts;
}

QPushButton* button(const dlgConfigure& dialog, const QString& name)
{
    return dialog.findChild<QPushButton*>(name);
}

void select(const dlgConfigure& dialog, int row)
{
    auto* list = dialog.findChild<QListWidget*>(u"lstDoNotSend"_s);
    list->setCurrentRow(row, QItemSelectionModel::ClearAndSelect);
}

} // namespace

class TestConfigureDialog : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init() { QVERIFY(m_directory.emplace().isValid()); }

    void controls_data()
    {
        QTest::addColumn<int>("index");
        const std::span<const ControlSpec> table = dlgConfigure::layout();
        for (int index = 0; index < int(table.size()); ++index) {
            QTest::newRow(table[size_t(index)].name.toString().toUtf8().constData()) << index;
        }
    }
    // Kind, geometry, caption, tool tip and buddy as the table says, no caption cut.
    void controls()
    {
        QFETCH(int, index);
        const dlgConfigure dialog(m_directory->path());
        QCOMPARE(controlDifferences(dialog, dlgConfigure::layout()[size_t(index)]), QStringList());
    }

    void window()
    {
        dlgConfigure dialog(m_directory->path());
        QCOMPARE(dialog.windowTitle(), u"Zelkor II Configuration"_s);
        QCOMPARE(dialog.parentWidget(), nullptr);
        QVERIFY(dialog.isModal());
        QCOMPARE(dialog.minimumSize(), QSize(351, 224));
        QCOMPARE(dialog.maximumSize(), QSize(351, 224));
        QCOMPARE(tabCycle(dialog, dlgConfigure::layout()), tableTabOrder(dlgConfigure::layout()));
        QCOMPARE(dialog.focusWidget(), button(dialog, u"OKButton"_s));
        const QList<QPushButton*> buttons = dialog.findChildren<QPushButton*>();
        for (const QPushButton* each : buttons) {
            QVERIFY2(!each->isDefault() && !each->autoDefault(), qPrintable(each->objectName()));
        }
    }

    void load_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QStringList>("shown");

        QTest::newRow("no file") << QByteArray() << QStringList();
        QTest::newRow("blank lines are not shown")
            << QByteArray("\r\nFOO.COM\r\n\r\n  \r\nBAR.ORG\r\n") << QStringList{u"FOO.COM"_s, u"BAR.ORG"_s};
        QTest::newRow("a line split at its comma")
            << QByteArray("FOO.COM, BAR.ORG\r\n") << QStringList{u"FOO.COM"_s, u"BAR.ORG"_s};
        QTest::newRow("entries of one and two characters") << QByteArray("AB\r\nX\r\n") << QStringList{u"AB"_s, u"X"_s};
        QTest::newRow("lower case as written, UTF-8 and byte-order mark") << QByteArray("\xef\xbb\xbf"
                                                                                        "stra\xc3\x9f"
                                                                                        "e.de\n")
                                                                          << QStringList{u"straße.de"_s};
    }
    void load()
    {
        QFETCH(QByteArray, content);
        QFETCH(QStringList, shown);
        if (!content.isEmpty()) {
            QVERIFY(writeList(content));
        }
        const dlgConfigure dialog(m_directory->path());
        QCOMPARE(rows(dialog), shown);
    }

    void add_data()
    {
        QTest::addColumn<QByteArray>("before");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QByteArray>("after");
        QTest::addColumn<QStringList>("shown");

        QTest::newRow("file created when missing")
            << QByteArray() << u"spam.example"_s << QByteArray("SPAM.EXAMPLE\r\n") << QStringList{u"SPAM.EXAMPLE"_s};
        QTest::newRow("lower case written and shown in upper case")
            << QByteArray("FOO.COM\r\n") << u"bar.Org"_s << QByteArray("FOO.COM\r\nBAR.ORG\r\n")
            << QStringList{u"FOO.COM"_s, u"BAR.ORG"_s};
        QTest::newRow("empty box adds an empty line and row")
            << QByteArray("FOO.COM\r\n") << QString() << QByteArray("FOO.COM\r\n\r\n")
            << QStringList{u"FOO.COM"_s, QString()};
        QTest::newRow("duplicate added again")
            << QByteArray("FOO.COM\r\n") << u"foo.com"_s << QByteArray("FOO.COM\r\nFOO.COM\r\n")
            << QStringList{u"FOO.COM"_s, u"FOO.COM"_s};
        QTest::newRow("sharp s stays one character") << QByteArray() << u"straße.de"_s
                                                     << QByteArray("STRA\xc3\x9f"
                                                                   "E.DE\r\n")
                                                     << QStringList{u"STRAßE.DE"_s};
        QTest::newRow("last line without its line end keeps its entry")
            << QByteArray("FOO.COM") << u"bar.org"_s << QByteArray("FOO.COM\r\nBAR.ORG\r\n")
            << QStringList{u"FOO.COM"_s, u"BAR.ORG"_s};
    }
    void add()
    {
        QFETCH(QByteArray, before);
        QFETCH(QString, typed);
        QFETCH(QByteArray, after);
        QFETCH(QStringList, shown);
        if (!before.isEmpty()) {
            QVERIFY(writeList(before));
        }
        RecordingConfigure dialog(m_directory->path());
        auto* txtAdd = dialog.findChild<QLineEdit*>(u"txtAdd"_s);
        txtAdd->setText(typed);
        QTest::mouseClick(button(dialog, u"cmdAddDoNotSend"_s), Qt::LeftButton);

        QCOMPARE(readList(), after);
        QCOMPARE(rows(dialog), shown);
        QCOMPARE(txtAdd->text(), typed);
        QCOMPARE(dialog.failures, QStringList());
    }

    // A row too long for the list is cut short; its tool tip shows it whole.
    void longRowShownInItsTip()
    {
        const QString longEntry = u"SPAM-"_s + QString(80, u'X') + u".EXAMPLE"_s;
        QVERIFY(writeList((u"SHORT.ORG\r\n"_s + longEntry + u"\r\n"_s).toUtf8()));
        RecordingConfigure dialog(m_directory->path());
        auto* txtAdd = dialog.findChild<QLineEdit*>(u"txtAdd"_s);
        txtAdd->setText(longEntry.toLower());
        QTest::mouseClick(button(dialog, u"cmdAddDoNotSend"_s), Qt::LeftButton);
        const auto* list = dialog.findChild<QListWidget*>(u"lstDoNotSend"_s);
        QCOMPARE(list->count(), 3);
        QCOMPARE(list->item(0)->toolTip(), QString());
        QCOMPARE(list->item(1)->toolTip(), longEntry);
        QCOMPARE(list->item(2)->toolTip(), longEntry);
    }

    void remove_data()
    {
        QTest::addColumn<QByteArray>("before");
        QTest::addColumn<int>("selected");
        QTest::addColumn<QByteArray>("after");
        QTest::addColumn<QStringList>("shown");

        const QByteArray untidy("\r\nFOO.COM\r\n\r\n  \r\nBAR.ORG\r\nBAZ.NET");
        QTest::newRow("none selected changes nothing")
            << untidy << -1 << untidy << QStringList{u"FOO.COM"_s, u"BAR.ORG"_s, u"BAZ.NET"_s};
        QTest::newRow("after blank lines the file is rewritten without them")
            << untidy << 1 << QByteArray("FOO.COM\r\nBAZ.NET\r\n") << QStringList{u"FOO.COM"_s, u"BAZ.NET"_s};
        QTest::newRow("an entry split at a comma is written back as shown")
            << QByteArray("FOO.COM, BAR.ORG\r\nBAZ.NET\r\n") << 2 << QByteArray("FOO.COM\r\nBAR.ORG\r\n")
            << QStringList{u"FOO.COM"_s, u"BAR.ORG"_s};
        QTest::newRow("the last row leaves an empty file")
            << QByteArray("FOO.COM\r\n") << 0 << QByteArray() << QStringList();
    }
    void remove()
    {
        QFETCH(QByteArray, before);
        QFETCH(int, selected);
        QFETCH(QByteArray, after);
        QFETCH(QStringList, shown);
        QVERIFY(writeList(before));
        RecordingConfigure dialog(m_directory->path());
        if (selected >= 0) {
            select(dialog, selected);
        }
        QTest::mouseClick(button(dialog, u"cmdDelete"_s), Qt::LeftButton);

        QCOMPARE(readList(), after);
        QVERIFY(QFileInfo::exists(listPath()));
        QCOMPARE(rows(dialog), shown);
        QCOMPARE(dialog.failures, QStringList());
    }

    // Add and Delete write at once; Cancel takes nothing back.
    void cancelKeepsTheChanges()
    {
        QVERIFY(writeList("FOO.COM\r\n"));
        {
            dlgConfigure dialog(m_directory->path());
            dialog.open();
            dialog.findChild<QLineEdit*>(u"txtAdd"_s)->setText(u"bar.org"_s);
            QTest::mouseClick(button(dialog, u"cmdAddDoNotSend"_s), Qt::LeftButton);
            QTest::mouseClick(button(dialog, u"CancelButton"_s), Qt::LeftButton);
            QVERIFY(!dialog.isVisible());
            QCOMPARE(dialog.result(), int(QDialog::Rejected));
        }
        {
            dlgConfigure dialog(m_directory->path());
            QCOMPARE(rows(dialog), (QStringList{u"FOO.COM"_s, u"BAR.ORG"_s}));
            dialog.open();
            select(dialog, 0);
            QTest::mouseClick(button(dialog, u"cmdDelete"_s), Qt::LeftButton);
            QTest::mouseClick(button(dialog, u"CancelButton"_s), Qt::LeftButton);
            QVERIFY(!dialog.isVisible());
        }
        QCOMPARE(readList(), QByteArray("BAR.ORG\r\n"));
        QCOMPARE(DontSend(u"ABUSE@BAR.ORG"_s, m_directory->path()), true);
    }

    void enterAndEscapeDoNothing_data()
    {
        QTest::addColumn<QString>("focus");
        QTest::addColumn<int>("key");

        QTest::newRow("Escape in the text box") << u"txtAdd"_s << int(Qt::Key_Escape);
        QTest::newRow("Return in the text box") << u"txtAdd"_s << int(Qt::Key_Return);
        QTest::newRow("keypad Enter in the text box") << u"txtAdd"_s << int(Qt::Key_Enter);
        QTest::newRow("Return on the Add button") << u"cmdAddDoNotSend"_s << int(Qt::Key_Return);
        QTest::newRow("Return on the OK button") << u"OKButton"_s << int(Qt::Key_Return);
        QTest::newRow("Escape on the list") << u"lstDoNotSend"_s << int(Qt::Key_Escape);
    }
    void enterAndEscapeDoNothing()
    {
        QFETCH(QString, focus);
        QFETCH(int, key);
        dlgConfigure dialog(m_directory->path());
        dialog.findChild<QLineEdit*>(u"txtAdd"_s)->setText(u"foo.com"_s);
        dialog.open();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        auto* target = dialog.findChild<QWidget*>(focus);
        target->setFocus();
        QTest::keyClick(target, Qt::Key(key), key == Qt::Key_Enter ? Qt::KeypadModifier : Qt::NoModifier);

        QVERIFY(dialog.isVisible());
        QCOMPARE(rows(dialog), QStringList());
        QVERIFY(!QFileInfo::exists(listPath()));
    }

    void failureLeavesListAndFile_data()
    {
        QTest::addColumn<bool>("add");
        QTest::addColumn<qint64>("sizeLimit");
        QTest::addColumn<QString>("reason");

        // The list below is 36 bytes long, Add appends 12, Delete rewrites 24:
        // a limit of 0 stands for a directory in the file's place.
        QTest::newRow("Add, a directory where the file would be") << true << qint64(0) << QString();
        QTest::newRow("Add, the disk fills in the middle of the line") << true << qint64(40) << u"File too large"_s;
        QTest::newRow("Delete, a directory has taken the file's place") << false << qint64(0) << QString();
        QTest::newRow("Delete, the disk fills in the middle of the rewrite")
            << false << qint64(16) << u"File too large"_s;
    }
    // A message names the file and the reason; the list and the file stay as they were.
    void failureLeavesListAndFile()
    {
        QFETCH(bool, add);
        QFETCH(qint64, sizeLimit);
        QFETCH(QString, reason);
        const QByteArray content("AAAAAAAAAA\r\nBBBBBBBBBB\r\nCCCCCCCCCC\r\n");
        QVERIFY(writeList(content));
        RecordingConfigure dialog(m_directory->path());
        const QStringList shown = rows(dialog);
        dialog.findChild<QLineEdit*>(u"txtAdd"_s)->setText(u"dddddddddd"_s);
        select(dialog, 2);
        const bool directoryInPlace = sizeLimit == 0;
        if (directoryInPlace) {
            QVERIFY(QFile::remove(listPath()));
            QVERIFY(QDir(m_directory->path()).mkdir(DoNotSendFileName.toString()));
        }
        {
            std::optional<FileSizeLimit> limit;
            if (!directoryInPlace) {
                limit.emplace(rlim_t(sizeLimit));
            }
            QTest::mouseClick(button(dialog, add ? u"cmdAddDoNotSend"_s : u"cmdDelete"_s), Qt::LeftButton);
        }

        QCOMPARE(dialog.failures.size(), 1);
        QVERIFY2(dialog.failures.first().contains(QDir::toNativeSeparators(listPath())),
                 qPrintable(dialog.failures.first()));
        QVERIFY2(dialog.failures.first().contains(reason), qPrintable(dialog.failures.first()));
        QCOMPARE(rows(dialog), shown);
        if (directoryInPlace) {
            QVERIFY(QFileInfo(listPath()).isDir());
        } else {
            QCOMPARE(readList(), content);
        }
        // No temporary file is left behind.
        QCOMPARE(QDir(m_directory->path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries),
                 QStringList{DoNotSendFileName.toString()});
    }

private:
    QString listPath() const { return doNotSendFilePath(m_directory->path()); }

    bool writeList(const QByteArray& content) const
    {
        QFile file(listPath());
        return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(content) == content.size();
    }

    QByteArray readList() const
    {
        QFile file(listPath());
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("(no file)");
    }

    std::optional<QTemporaryDir> m_directory;
};

QTEST_MAIN(TestConfigureDialog)
#include "tst_configuredialog.moc"
