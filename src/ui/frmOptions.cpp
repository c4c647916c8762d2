#include "ui/frmOptions.h"

#include "common/AppError.h"
#include "common/Settings.h"
#include "ui/AppFonts.h"
#include "ui/MainLayout.h"
#include "ui/ProductIcon.h"
#include "ui/Vendor.h"

#include <QComboBox>
#include <QEvent>
#include <QFocusEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

namespace {

constexpr int ClientWidthTwips = 7410;
constexpr int ClientHeightTwips = 4560;

using MainLayout::place;

} // namespace

const QStringList frmOptions::MaxFilesItems = {
    QStringLiteral("50"),  QStringLiteral("100"),  QStringLiteral("250"),  QStringLiteral("500"),
    QStringLiteral("750"), QStringLiteral("1000"), QStringLiteral("1500"), QStringLiteral("2000"),
};
// Seven items: the pages list has no 500.
const QStringList frmOptions::MaxPagesItems = {
    QStringLiteral("50"),   QStringLiteral("100"),  QStringLiteral("250"),  QStringLiteral("750"),
    QStringLiteral("1000"), QStringLiteral("1500"), QStringLiteral("2000"),
};
const QStringList frmOptions::MaxDomainItems = {
    QStringLiteral("1"),  QStringLiteral("2"),  QStringLiteral("3"),  QStringLiteral("5"),
    QStringLiteral("10"), QStringLiteral("25"), QStringLiteral("50"), QStringLiteral("100"),
};

frmOptions::frmOptions(Settings &settings, QWidget *parent)
    // A title and a close box only: no minimize or maximize button.
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint
                          | Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint),
      m_settings(settings), m_shellOpen(&modPublic::ShellOpen)
{
    setObjectName(QStringLiteral("frmOptions"));
    setWindowTitle(QStringLiteral("Options"));
    setWindowIcon(productIcon());
    // The classic dialog font the boxes are measured for.
    setFont(AppFonts::msSansSerif());
    setFixedSize(MainLayout::pixelsCovering(ClientWidthTwips), MainLayout::pixelsCovering(ClientHeightTwips));

    m_confirm = [this](const QString &text) {
        QMessageBox box(QMessageBox::Information, Vendor::ProductName, text, QMessageBox::Ok, this);
        box.exec();
    };
    m_reportError = [this](const QString &description) {
        QMessageBox box(QMessageBox::Warning, Vendor::ProductName, description, QMessageBox::Ok, this);
        box.exec();
    };

    // The labels keep the object names of their design array, Label1(0) to Label1(6).
    auto label = [this](int index, const QString &text, double top) {
        auto *l = new QLabel(text, this);
        l->setObjectName(QStringLiteral("Label1(%1)").arg(index));
        l->setWordWrap(true);
        l->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        place(l, {360, top, 1455, 495});
        return l;
    };
    auto lineEdit = [this](const QString &name, double top, double width) {
        auto *edit = new QLineEdit(this);
        edit->setObjectName(name);
        place(edit, {2040, top, width, 285});
        return edit;
    };

    // Created in tab order.
    m_downloadDirLabel = label(4, QStringLiteral("&Default file download directory"), 255);
    m_txtDownloadDir = lineEdit(QStringLiteral("txtDownloadDir"), 360, 3735);
    m_txtDownloadDir->setEnabled(false);
    m_cmdBrowse = new QPushButton(QStringLiteral("&Browse"), this);
    m_cmdBrowse->setObjectName(QStringLiteral("cmdBrowse"));
    m_cmdBrowse->setEnabled(false);
    place(m_cmdBrowse, {6000, 315, 1215, 375});

    m_searchLabel = label(1, QStringLiteral("Search for these file &extensions"), 855);
    m_txtSearch = lineEdit(QStringLiteral("txtSearch"), 960, 3015);
    m_txtSearch->setToolTip(QStringLiteral("File extensions to search for"));

    m_followLabel = label(2, QStringLiteral("F&ollow these file extensions"), 1455);
    m_txtFollow = lineEdit(QStringLiteral("txtFollow"), 1560, 3015);
    m_txtFollow->setToolTip(QStringLiteral("HTML extensions to explore"));

    m_maxFilesLabel = label(0, QStringLiteral("Limit number of &files found to"), 2055);
    m_cboMaxFiles = createCombo(QStringLiteral("cboMaxFiles"), MaxFilesItems);
    place(m_cboMaxFiles, {2040, 2160, 975, 315});

    m_maxPagesLabel = label(3, QStringLiteral("Limit number of &pages crawled to"), 2655);
    m_cboMaxPages = createCombo(QStringLiteral("cboMaxPages"), MaxPagesItems);
    place(m_cboMaxPages, {2040, 2760, 975, 315});

    m_maxDomainLabel = label(6, QStringLiteral("&Limit number of pages per domain to"), 3255);
    m_cboMaxDomain = createCombo(QStringLiteral("cboMaxDomain"), MaxDomainItems);
    place(m_cboMaxDomain, {2040, 3360, 975, 315});

    m_cmdHelp = new QPushButton(QStringLiteral("Online &Help"), this);
    m_cmdHelp->setObjectName(QStringLiteral("cmdHelp"));
    place(m_cmdHelp, {3120, 3960, 1215, 375});
    m_cmdSave = new QPushButton(QStringLiteral("&Save"), this);
    m_cmdSave->setObjectName(QStringLiteral("cmdSave"));
    place(m_cmdSave, {4560, 3960, 1215, 375});
    m_cmdCancel = new QPushButton(QStringLiteral("&Close"), this);
    m_cmdCancel->setObjectName(QStringLiteral("cmdCancel"));
    place(m_cmdCancel, {6000, 3960, 1215, 375});

    m_slowConnectionNote = label(5,
                                 QStringLiteral("If you have a slow internet connection, try setting the Limit "
                                                "values lower to to obtain better crawl performance."),
                                 2280);
    place(m_slowConnectionNote, {3600, 2280, 3255, 735});
    m_slowConnectionNote->setForegroundRole(QPalette::WindowText);

    // A label's access key moves to the next control in the tab order that can
    // take the focus; the download folder's box and button never can.
    m_downloadDirLabel->setBuddy(m_txtSearch);
    m_searchLabel->setBuddy(m_txtSearch);
    m_followLabel->setBuddy(m_txtFollow);
    m_maxFilesLabel->setBuddy(m_cboMaxFiles);
    m_maxPagesLabel->setBuddy(m_cboMaxPages);
    m_maxDomainLabel->setBuddy(m_cboMaxDomain);

    // No default button: Enter must not save. Esc still closes, as QDialog maps
    // it to reject() whatever the buttons are.
    for (QPushButton *button : {m_cmdBrowse, m_cmdHelp, m_cmdSave, m_cmdCancel}) {
        button->setAutoDefault(false);
        button->setDefault(false);
    }

    QWidget *order[] = {m_txtDownloadDir, m_cmdBrowse, m_txtSearch, m_txtFollow, m_cboMaxFiles,
                        m_cboMaxPages,    m_cboMaxDomain, m_cmdHelp, m_cmdSave, m_cmdCancel};
    for (size_t i = 1; i < std::size(order); ++i)
        setTabOrder(order[i - 1], order[i]);

    m_txtSearch->installEventFilter(this);
    m_txtFollow->installEventFilter(this);

    connect(m_cmdSave, &QPushButton::clicked, this, &frmOptions::cmdSave_Click);
    connect(m_cmdCancel, &QPushButton::clicked, this, &frmOptions::cmdCancel_Click);
    connect(m_cmdHelp, &QPushButton::clicked, this, &frmOptions::cmdHelp_Click);

    Form_Load();
}

frmOptions::~frmOptions()
{
    // Boxes being torn down send no more focus events here.
    m_txtSearch->removeEventFilter(this);
    m_txtFollow->removeEventFilter(this);
}

QComboBox *frmOptions::createCombo(const QString &name, const QStringList &items)
{
    auto *combo = new QComboBox(this);
    combo->setObjectName(name);
    combo->setEditable(true);
    // Enter in the box must neither add the typed text to the list nor save, and
    // must leave the text as typed: with the text selected (as after a Tab), an
    // inline completer would replace it by the first item on Enter.
    combo->setInsertPolicy(QComboBox::NoInsert);
    combo->setCompleter(nullptr);
    combo->addItems(items);
    return combo;
}

void frmOptions::Form_Load()
{
    m_txtDownloadDir->setText(m_settings.DLPath);
    m_txtFollow->setText(m_settings.Follow);
    m_txtSearch->setText(m_settings.Search);
    // Set as text, so a value outside the list (the default 200 files) shows as typed.
    m_cboMaxFiles->setEditText(QString::number(m_settings.MaxFiles));
    m_cboMaxPages->setEditText(QString::number(m_settings.MaxPages));
    m_cboMaxDomain->setEditText(QString::number(m_settings.MaxDomain));
}

void frmOptions::cmdSave_Click()
{
    try {
        SaveSettings(m_txtSearch->text(), m_txtFollow->text(), m_cboMaxFiles->currentText(),
                     m_cboMaxPages->currentText(), m_cboMaxDomain->currentText(), m_confirm, m_settings);
    } catch (const AppError &error) {
        // The dialog stays open with the typed texts, so the user can try again.
        if (m_reportError)
            m_reportError(error.description());
    }
}

void frmOptions::cmdCancel_Click()
{
    reject();
}

void frmOptions::cmdHelp_Click()
{
    if (m_shellOpen)
        m_shellOpen(Vendor::HelpAddress);
}

bool frmOptions::eventFilter(QObject *watched, QEvent *event)
{
    // A menu closing over a box (its own context menu) hands the focus back; it
    // was never lost, so the caret and selection stay as the user left them.
    if (event->type() == QEvent::FocusIn && (watched == m_txtSearch || watched == m_txtFollow)
        && static_cast<QFocusEvent *>(event)->reason() != Qt::PopupFocusReason) {
        auto *edit = static_cast<QLineEdit *>(watched);
        edit->selectAll();
        // A click places the cursor after the focus has arrived; select again
        // once the click is over.
        QTimer::singleShot(0, edit, &QLineEdit::selectAll);
    }
    return QDialog::eventFilter(watched, event);
}
