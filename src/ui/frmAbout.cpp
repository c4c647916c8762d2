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

void place(QWidget *widget, double left, double top, double width, double height)
{
    widget->setGeometry(MainLayout::toPixels({left, top, width, height}));
}

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

    m_label1 = centredLabel(QStringLiteral("Label1"), QStringLiteral("Trovewick v2.0"), this);
    place(m_label1, 2280, 120, 2295, 255);

    m_label2 = centredLabel(QStringLiteral("Label2"),
                            QStringLiteral("For the latest release of this product, please visit us at"), this);
    m_label2->setWordWrap(true);
    place(m_label2, 2280, 480, 2295, 495);

    m_label3 = new ClickLabel(Vendor::WebAddress, this);
    m_label3->setObjectName(QStringLiteral("Label3"));
    m_label3->setTextFormat(Qt::PlainText);
    m_label3->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    QFont link = AppFonts::msSansSerif();
    link.setUnderline(true);
    m_label3->setFont(link);
    QPalette linkPalette = m_label3->palette();
    linkPalette.setColor(QPalette::WindowText, QColor(0, 0, 255));
    m_label3->setPalette(linkPalette);
    place(m_label3, 2280, 1080, 2295, 255);
    connect(m_label3, &ClickLabel::clicked, this, &frmAbout::Label3_Click);

    m_cmdOK = new QPushButton(QStringLiteral("&Close"), this);
    m_cmdOK->setObjectName(QStringLiteral("cmdOK"));
    // The default button takes Enter; Esc reaches reject(), which closes the same way.
    m_cmdOK->setAutoDefault(true);
    m_cmdOK->setDefault(true);
    place(m_cmdOK, 2760, 1560, 1335, 375);
    connect(m_cmdOK, &QPushButton::clicked, this, &frmAbout::cmdOK_Click);

    m_label4 = centredLabel(QStringLiteral("Label4"), QStringLiteral("Copyright \u00A9 Trovewick"),
                            this);
    m_label4->setFont(AppFonts::msSerif(6.75));
    place(m_label4, 2280, 2160, 2295, 255);

    m_image1 = new QLabel(this);
    m_image1->setObjectName(QStringLiteral("Image1"));
    m_image1->setFrameShape(QFrame::Box);
    m_image1->setLineWidth(1);
    m_image1->setAlignment(Qt::AlignCenter);
    m_image1->setPixmap(productLogo());
    place(m_image1, 120, 120, 1905, 1170);

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
