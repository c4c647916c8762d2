#include "common/Settings.h"
#include "settings/SettingsPersistence.h"
#include "ui/frmOptions.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <memory>

using namespace Qt::StringLiterals;

class tst_frmOptions : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();

    void firstRunShowsDefaults();
    void designValues_data();
    void designValues();
    void comboLists();
    void tabOrder();
    void typedTextIsStored();
    void zeroPagesBringsDefaultsBack();
    void escapeDiscardsEdits();
    void enterDoesNotSave_data();
    void enterDoesNotSave();
    void focusSelectsText_data();
    void focusSelectsText();
    void menuLeavesSelectionAlone();
    void saveErrorIsShownAndDialogStaysUsable();
    void onlineHelp();
    void confirmationIsInformationBox();

private:
    // A dialog over the record, shown and active, its message boxes recorded.
    std::unique_ptr<frmOptions> openDialog();
    template<typename T>
    T *child(frmOptions &dialog, const char *name)
    {
        T *found = dialog.findChild<T *>(QString::fromLatin1(name));
        if (!found)
            qFatal("no child %s", name);
        return found;
    }

    std::unique_ptr<QTemporaryDir> m_config;
    Settings m_settings;
    QStringList m_confirmed;
    QStringList m_errors;
    QStringList m_opened;
};

void tst_frmOptions::init()
{
    // Each test starts from a first run: an empty per-user store.
    m_config = std::make_unique<QTemporaryDir>();
    QVERIFY(m_config->isValid());
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_config->path()));
    m_settings = Settings();
    LoadSettings(m_settings);
    m_confirmed.clear();
    m_errors.clear();
    m_opened.clear();
}

void tst_frmOptions::cleanup()
{
    m_config.reset();
}

std::unique_ptr<frmOptions> tst_frmOptions::openDialog()
{
    auto dialog = std::make_unique<frmOptions>(m_settings);
    dialog->setConfirmation([this](const QString &text) { m_confirmed.append(text); });
    dialog->setErrorReport([this](const QString &description) { m_errors.append(description); });
    dialog->setShellOpen([this](const QString &target) { m_opened.append(target); });
    dialog->show();
    if (!QTest::qWaitForWindowActive(dialog.get()))
        qWarning("options dialog did not become active");
    return dialog;
}

void tst_frmOptions::firstRunShowsDefaults()
{
    auto dialog = openDialog();
    auto *dir = child<QLineEdit>(*dialog, "txtDownloadDir");
    QCOMPARE(dir->text(), QString());
    QVERIFY(!dir->isEnabled());
    QVERIFY(!child<QPushButton>(*dialog, "cmdBrowse")->isEnabled());
    QCOMPARE(child<QLineEdit>(*dialog, "txtSearch")->text(), QStringLiteral("asf,avi,gif,jpg,jpeg,mp3,mpg,mpeg"));
    QCOMPARE(child<QLineEdit>(*dialog, "txtFollow")->text(), QStringLiteral("asp,htm,html"));
    QCOMPARE(child<QComboBox>(*dialog, "cboMaxFiles")->currentText(), QStringLiteral("200"));
    QCOMPARE(child<QComboBox>(*dialog, "cboMaxPages")->currentText(), QStringLiteral("100"));
    QCOMPARE(child<QComboBox>(*dialog, "cboMaxDomain")->currentText(), QStringLiteral("10"));
    // Nothing was written on the way.
    QVERIFY(!QFile::exists(m_config->filePath(QStringLiteral("Trovewick/registry.reg"))));
}

void tst_frmOptions::designValues_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("buddy");

    QTest::newRow("Label1(4)") << u"Label1(4)"_s << u"&Default file download directory"_s << u"txtSearch"_s;
    QTest::newRow("Label1(1)") << u"Label1(1)"_s << u"Search for these file &extensions"_s << u"txtSearch"_s;
    QTest::newRow("Label1(2)") << u"Label1(2)"_s << u"F&ollow these file extensions"_s << u"txtFollow"_s;
    QTest::newRow("Label1(0)") << u"Label1(0)"_s << u"Limit number of &files found to"_s << u"cboMaxFiles"_s;
    QTest::newRow("Label1(3)") << u"Label1(3)"_s << u"Limit number of &pages crawled to"_s << u"cboMaxPages"_s;
    QTest::newRow("Label1(6)") << u"Label1(6)"_s << u"&Limit number of pages per domain to"_s << u"cboMaxDomain"_s;
    QTest::newRow("Label1(5)") << u"Label1(5)"_s
                               << u"If you have a slow internet connection, try setting the Limit values lower to "_s
                                  "to obtain better crawl performance."
                               << u""_s;
    QTest::newRow("cmdBrowse") << u"cmdBrowse"_s << u"&Browse"_s << u""_s;
    QTest::newRow("cmdHelp") << u"cmdHelp"_s << u"Online &Help"_s << u""_s;
    QTest::newRow("cmdSave") << u"cmdSave"_s << u"&Save"_s << u""_s;
    QTest::newRow("cmdCancel") << u"cmdCancel"_s << u"&Close"_s << u""_s;
}

void tst_frmOptions::designValues()
{
    QFETCH(QString, name);
    auto dialog = openDialog();
    QCOMPARE(dialog->windowTitle(), QStringLiteral("Options"));
    QCOMPARE(dialog->size(), QSize(494, 304));
    QVERIFY(!(dialog->windowFlags() & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint)));
    QVERIFY(dialog->windowFlags() & Qt::CustomizeWindowHint);
    QWidget *widget = dialog->findChild<QWidget *>(name);
    QVERIFY(widget);
    if (auto *label = qobject_cast<QLabel *>(widget)) {
        QTEST(label->text(), "text");
        QTEST(label->buddy() ? label->buddy()->objectName() : QString(), "buddy");
    } else {
        auto *button = qobject_cast<QPushButton *>(widget);
        QVERIFY(button);
        QTEST(button->text(), "text");
        QVERIFY(!button->isDefault());
        QVERIFY(!button->autoDefault());
    }
    QCOMPARE(child<QLineEdit>(*dialog, "txtSearch")->toolTip(), QStringLiteral("File extensions to search for"));
    QCOMPARE(child<QLineEdit>(*dialog, "txtFollow")->toolTip(), QStringLiteral("HTML extensions to explore"));
}

void tst_frmOptions::comboLists()
{
    auto dialog = openDialog();
    auto items = [&](const char *name) {
        auto *combo = child<QComboBox>(*dialog, name);
        QStringList texts;
        for (int i = 0; i < combo->count(); ++i)
            texts.append(combo->itemText(i));
        return texts;
    };
    QCOMPARE(items("cboMaxFiles"),
             (QStringList{u"50"_s, u"100"_s, u"250"_s, u"500"_s, u"750"_s, u"1000"_s, u"1500"_s, u"2000"_s}));
    // Seven items: no 500 in the pages list.
    QCOMPARE(items("cboMaxPages"),
             (QStringList{u"50"_s, u"100"_s, u"250"_s, u"750"_s, u"1000"_s, u"1500"_s, u"2000"_s}));
    QCOMPARE(items("cboMaxDomain"), (QStringList{u"1"_s, u"2"_s, u"3"_s, u"5"_s, u"10"_s, u"25"_s, u"50"_s, u"100"_s}));
    for (const char *name : {"cboMaxFiles", "cboMaxPages", "cboMaxDomain"})
        QVERIFY(child<QComboBox>(*dialog, name)->isEditable());
}

void tst_frmOptions::tabOrder()
{
    auto dialog = openDialog();
    // The first control that can take the focus has it when the dialog opens.
    QTRY_COMPARE(QApplication::focusWidget(), child<QLineEdit>(*dialog, "txtSearch"));
    QStringList visited;
    for (int i = 0; i < 8; ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QWidget *focus = QApplication::focusWidget();
        // An editable combo box passes its focus to its line edit.
        while (focus && focus->objectName().isEmpty())
            focus = focus->parentWidget();
        visited.append(focus ? focus->objectName() : QString());
    }
    QCOMPARE(visited, (QStringList{u"txtFollow"_s, u"cboMaxFiles"_s, u"cboMaxPages"_s, u"cboMaxDomain"_s,
                                   u"cmdHelp"_s, u"cmdSave"_s, u"cmdCancel"_s, u"txtSearch"_s}));
}

void tst_frmOptions::typedTextIsStored()
{
    auto dialog = openDialog();
    auto *pages = child<QComboBox>(*dialog, "cboMaxPages");
    pages->setFocus(Qt::TabFocusReason);
    QTest::keyClicks(pages->lineEdit(), QStringLiteral("3000"));
    QCOMPARE(pages->currentText(), QStringLiteral("3000"));
    QTest::mouseClick(child<QPushButton>(*dialog, "cmdSave"), Qt::LeftButton);

    QCOMPARE(m_confirmed, QStringList{u"Options Saved!"_s});
    // The dialog stays open with the typed texts; the record holds the stored value.
    QVERIFY(dialog->isVisible());
    QCOMPARE(pages->currentText(), QStringLiteral("3000"));
    QCOMPARE(pages->count(), 7);
    QCOMPARE(m_settings.MaxPages, 3000);

    dialog.reset();
    auto reopened = openDialog();
    QCOMPARE(child<QComboBox>(*reopened, "cboMaxPages")->currentText(), QStringLiteral("3000"));
    Settings fresh;
    LoadSettings(fresh);
    QCOMPARE(fresh.MaxPages, 3000);
}

void tst_frmOptions::zeroPagesBringsDefaultsBack()
{
    auto dialog = openDialog();
    child<QLineEdit>(*dialog, "txtSearch")->setText(QStringLiteral("zip"));
    child<QLineEdit>(*dialog, "txtFollow")->setText(QStringLiteral("php"));
    child<QComboBox>(*dialog, "cboMaxFiles")->setEditText(QStringLiteral("7"));
    child<QComboBox>(*dialog, "cboMaxPages")->setEditText(QStringLiteral("0"));
    child<QComboBox>(*dialog, "cboMaxDomain")->setEditText(QStringLiteral("3"));
    dialog->cmdSave_Click();
    QCOMPARE(m_confirmed.size(), 1);
    // The dialog keeps what was typed while the record holds the defaults.
    QCOMPARE(child<QLineEdit>(*dialog, "txtSearch")->text(), QStringLiteral("zip"));
    QCOMPARE(child<QComboBox>(*dialog, "cboMaxPages")->currentText(), QStringLiteral("0"));
    QCOMPARE(m_settings.Search, SettingsDefaults::Search);

    QTest::keyClick(dialog.get(), Qt::Key_Escape);
    QVERIFY(!dialog->isVisible());
    auto reopened = openDialog();
    QCOMPARE(child<QLineEdit>(*reopened, "txtSearch")->text(), SettingsDefaults::Search);
    QCOMPARE(child<QLineEdit>(*reopened, "txtFollow")->text(), SettingsDefaults::Follow);
    QCOMPARE(child<QComboBox>(*reopened, "cboMaxFiles")->currentText(), QStringLiteral("200"));
    QCOMPARE(child<QComboBox>(*reopened, "cboMaxPages")->currentText(), QStringLiteral("100"));
    QCOMPARE(child<QComboBox>(*reopened, "cboMaxDomain")->currentText(), QStringLiteral("10"));
}

void tst_frmOptions::escapeDiscardsEdits()
{
    auto dialog = openDialog();
    auto *search = child<QLineEdit>(*dialog, "txtSearch");
    search->setFocus(Qt::TabFocusReason);
    QTest::keyClicks(search, QStringLiteral("wav"));
    QTest::keyClick(search, Qt::Key_Escape);
    QVERIFY(!dialog->isVisible());
    QCOMPARE(dialog->result(), int(QDialog::Rejected));
    QVERIFY(m_confirmed.isEmpty());
    QCOMPARE(m_settings.Search, SettingsDefaults::Search);

    auto reopened = openDialog();
    QCOMPARE(child<QLineEdit>(*reopened, "txtSearch")->text(), SettingsDefaults::Search);
    QVERIFY(!QFile::exists(m_config->filePath(QStringLiteral("Trovewick/registry.reg"))));
}

void tst_frmOptions::enterDoesNotSave_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("key");
    for (const char *name : {"txtSearch", "txtFollow", "cboMaxFiles", "cboMaxPages", "cboMaxDomain", "cmdHelp",
                             "cmdSave", "cmdCancel"}) {
        QTest::addRow("Return in %s", name) << QString::fromLatin1(name) << int(Qt::Key_Return);
        QTest::addRow("Enter in %s", name) << QString::fromLatin1(name) << int(Qt::Key_Enter);
    }
}

void tst_frmOptions::enterDoesNotSave()
{
    QFETCH(QString, name);
    QFETCH(int, key);
    auto dialog = openDialog();
    QWidget *widget = dialog->findChild<QWidget *>(name);
    QVERIFY(widget);
    auto *combo = qobject_cast<QComboBox *>(widget);
    if (combo) {
        combo->setEditText(u"42"_s);
        widget = combo->lineEdit();
    }
    widget->setFocus(Qt::TabFocusReason);
    if (auto *edit = qobject_cast<QLineEdit *>(widget))
        edit->selectAll();
    QTest::keyClick(widget, Qt::Key(key));
    // A limit box keeps the typed text, selected or not.
    if (combo)
        QCOMPARE(combo->currentText(), u"42"_s);
    QVERIFY(m_confirmed.isEmpty());
    QVERIFY(m_opened.isEmpty());
    QVERIFY(dialog->isVisible());
    QVERIFY(!QFile::exists(m_config->filePath(QStringLiteral("Trovewick/registry.reg"))));
    // Enter in a limit box leaves its list as it was.
    for (const char *limit : {"cboMaxFiles", "cboMaxPages", "cboMaxDomain"})
        QVERIFY(child<QComboBox>(*dialog, limit)->findText(u"42"_s) < 0);
}

void tst_frmOptions::focusSelectsText_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("how");
    QTest::newRow("tab into txtFollow") << u"txtFollow"_s << u"tab"_s;
    QTest::newRow("click into txtSearch") << u"txtSearch"_s << u"click"_s;
    QTest::newRow("click into txtFollow") << u"txtFollow"_s << u"click"_s;
    QTest::newRow("access key of txtFollow") << u"txtFollow"_s << u"mnemonic"_s;
    QTest::newRow("tab into the files limit") << u"cboMaxFiles"_s << u"tab"_s;
}

void tst_frmOptions::focusSelectsText()
{
    QFETCH(QString, name);
    QFETCH(QString, how);
    auto dialog = openDialog();
    auto *search = child<QLineEdit>(*dialog, "txtSearch");
    auto *follow = child<QLineEdit>(*dialog, "txtFollow");
    QWidget *target = dialog->findChild<QWidget *>(name);
    QVERIFY(target);
    QLineEdit *edit = qobject_cast<QLineEdit *>(target);
    if (!edit)
        edit = qobject_cast<QComboBox *>(target)->lineEdit();

    if (how == QLatin1String("tab")) {
        // Start from the control before it in the tab order.
        QWidget *before = name == QLatin1String("txtFollow") ? static_cast<QWidget *>(search) : follow;
        before->setFocus(Qt::OtherFocusReason);
        QTest::keyClick(before, Qt::Key_Tab);
    } else if (how == QLatin1String("click")) {
        child<QPushButton>(*dialog, "cmdHelp")->setFocus(Qt::OtherFocusReason);
        QTest::mouseClick(edit, Qt::LeftButton, {}, QPoint(8, edit->height() / 2));
    } else {
        child<QPushButton>(*dialog, "cmdHelp")->setFocus(Qt::OtherFocusReason);
        QTest::keyClick(dialog.get(), Qt::Key_O, Qt::AltModifier);
    }
    QTRY_VERIFY(edit->hasFocus());
    QTRY_COMPARE(edit->selectedText(), edit->text());
    QVERIFY(!edit->text().isEmpty());
    QCOMPARE(edit->selectionStart(), 0);
}

void tst_frmOptions::menuLeavesSelectionAlone()
{
    auto dialog = openDialog();
    auto *search = child<QLineEdit>(*dialog, "txtSearch");
    search->setFocus(Qt::OtherFocusReason);
    QTRY_VERIFY(search->hasFocus());
    QCoreApplication::processEvents();
    search->setCursorPosition(4);
    QVERIFY(!search->hasSelectedText());

    // A menu opened and dismissed over the box never took the focus from it.
    QMenu menu(dialog.get());
    menu.addAction(u"Paste"_s);
    menu.popup(search->mapToGlobal(QPoint(4, 4)));
    QTRY_VERIFY(menu.isVisible());
    menu.close();
    QTRY_VERIFY(search->hasFocus());
    QCoreApplication::processEvents();
    QVERIFY(!search->hasSelectedText());
    QCOMPARE(search->cursorPosition(), 4);
}

void tst_frmOptions::saveErrorIsShownAndDialogStaysUsable()
{
    // A file where the store's folder must go: every write fails.
    const QString folder = m_config->filePath(QStringLiteral("Trovewick"));
    {
        QFile blocker(folder);
        QVERIFY(blocker.open(QIODevice::WriteOnly));
    }
    auto dialog = openDialog();
    child<QLineEdit>(*dialog, "txtSearch")->setText(QStringLiteral("ogg"));
    QTest::mouseClick(child<QPushButton>(*dialog, "cmdSave"), Qt::LeftButton);

    QCOMPARE(m_errors.size(), 1);
    QVERIFY2(m_errors.first().startsWith(QStringLiteral("Failed to set registry value Key: '")),
             qPrintable(m_errors.first()));
    QVERIFY(m_confirmed.isEmpty());
    QVERIFY(dialog->isVisible());
    QCOMPARE(child<QLineEdit>(*dialog, "txtSearch")->text(), QStringLiteral("ogg"));
    QCOMPARE(m_settings.Search, SettingsDefaults::Search);

    // Once the store can be written, the same dialog saves.
    QVERIFY(QFile::remove(folder));
    QTest::mouseClick(child<QPushButton>(*dialog, "cmdSave"), Qt::LeftButton);
    QCOMPARE(m_confirmed, QStringList{u"Options Saved!"_s});
    QCOMPARE(m_settings.Search, QStringLiteral("ogg"));
}

void tst_frmOptions::onlineHelp()
{
    auto dialog = openDialog();
    QTest::mouseClick(child<QPushButton>(*dialog, "cmdHelp"), Qt::LeftButton);
    QCOMPARE(m_opened, QStringList{u"www.trovewick.example/help/v2.0.htm"_s});
    QVERIFY(dialog->isVisible());
}

void tst_frmOptions::confirmationIsInformationBox()
{
    frmOptions dialog(m_settings);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowActive(&dialog));
    QString text;
    QString title;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QMessageBox::StandardButtons buttons;
    QTimer::singleShot(0, this, [&] {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        if (!box)
            return;
        text = box->text();
        title = box->windowTitle();
        icon = box->icon();
        buttons = box->standardButtons();
        box->accept();
    });
    dialog.cmdSave_Click();
    QCOMPARE(text, QStringLiteral("Options Saved!"));
    QCOMPARE(title, QStringLiteral("Trovewick"));
    QCOMPARE(icon, QMessageBox::Information);
    QCOMPARE(buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
    QVERIFY(dialog.isVisible());
}

QTEST_MAIN(tst_frmOptions)
#include "tst_frmoptions.moc"
