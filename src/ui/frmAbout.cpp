#include "ui/frmAbout.h"

#include "ui/AppFonts.h"
#include "ui/ClickLabel.h"
#include "ui/MainLayout.h"
#include "ui/ProductIcon.h"
#include "ui/Vendor.h"

#include <QLabel>
#include <QPushButton>

namespace {

constexpr int ClientWidthTwips = 4830;
constexpr int ClientHeightTwips = 2415;

using MainLayout::place;

QLabel *centredLabel(const QString &name, const QString &text, QWidget *parent)
{
    auto *label = new QLabel(text, parent);
    label->setObjectName(name);
    label->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    label->setTextFormat(Qt::PlainText);
    return label;
}

} // namespace

frmAbout::frmAbout(QWidget *parent)
    // A title and a close box only: no minimize or maximize button.
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint
                          | Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint),
      m_shellOpen(&modPublic::ShellOpen)
{
    setObjectName(QStringLiteral("frmAbout"));
    setWindowTitle(QStringLiteral("About Trovewick"));
    setWindowIcon(productIcon());
    setFont(AppFonts::msSansSerif());
    setFixedSize(MainLayout::pixelsCovering(ClientWidthTwips), MainLayout::pixelsCovering(ClientHeightTwips));

    m_productLabel = centredLabel(QStringLiteral("Label1"), Vendor::ProductTitle, this);
    place(m_productLabel, {2280, 120, 2295, 255});

    m_latestReleaseLabel = centredLabel(
        QStringLiteral("Label2"), QStringLiteral("For the latest release of this product, please visit us at"), this);
    m_latestReleaseLabel->setWordWrap(true);
    place(m_latestReleaseLabel, {2280, 480, 2295, 495});

    m_webAddressLink = new ClickLabel(Vendor::WebAddress, this);
    m_webAddressLink->setObjectName(QStringLiteral("Label3"));
    m_webAddressLink->setTextFormat(Qt::PlainText);
    m_webAddressLink->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    QFont link = AppFonts::msSansSerif();
    link.setUnderline(true);
    m_webAddressLink->setFont(link);
    QPalette linkPalette = m_webAddressLink->palette();
    linkPalette.setColor(QPalette::WindowText, QColor(0, 0, 255));
    m_webAddressLink->setPalette(linkPalette);
    place(m_webAddressLink, {2280, 1080, 2295, 255});
    connect(m_webAddressLink, &ClickLabel::clicked, this, &frmAbout::Label3_Click);

    m_cmdOK = new QPushButton(QStringLiteral("&Close"), this);
    m_cmdOK->setObjectName(QStringLiteral("cmdOK"));
    // The default button takes Enter; Esc reaches reject(), which closes the same way.
    m_cmdOK->setAutoDefault(true);
    m_cmdOK->setDefault(true);
    place(m_cmdOK, {2760, 1560, 1335, 375});
    connect(m_cmdOK, &QPushButton::clicked, this, &frmAbout::cmdOK_Click);

    m_copyrightLabel = centredLabel(QStringLiteral("Label4"), QStringLiteral("Copyright \u00A9 Trovewick"), this);
    m_copyrightLabel->setFont(AppFonts::msSerif(6.75));
    place(m_copyrightLabel, {2280, 2160, 2295, 255});

    m_logo = new QLabel(this);
    m_logo->setObjectName(QStringLiteral("Image1"));
    m_logo->setFrameShape(QFrame::Box);
    m_logo->setLineWidth(1);
    m_logo->setAlignment(Qt::AlignCenter);
    m_logo->setPixmap(productLogo());
    place(m_logo, {120, 120, 1905, 1170});

    m_cmdOK->setFocus();
}

frmAbout::~frmAbout() = default;

void frmAbout::cmdOK_Click()
{
    accept();
}

void frmAbout::Label3_Click()
{
    // The address without a scheme, as the shell opens a bare www address.
    if (m_shellOpen)
        m_shellOpen(Vendor::WebHost);
}
