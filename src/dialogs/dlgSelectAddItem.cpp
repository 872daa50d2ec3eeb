#include "dlgSelectAddItem.h"

#include "MainLayout.h"

#include <QFontMetrics>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>

namespace tarnwell {

dlgSelectAddItem::dlgSelectAddItem(QWidget *parent)
    : QDialog(parent), m_label(new QLabel(QStringLiteral("Please select the item you want to add"), this)),
      m_list(new QListWidget(this)), m_ok(new QPushButton(QStringLiteral("OK"), this)),
      m_cancel(new QPushButton(QStringLiteral("ｷｬﾝｾﾙ"), this))
{
    setObjectName(QStringLiteral("dlgSelectAddItem"));
    setWindowTitle(QStringLiteral("Tarnwell XML Editor"));
    setModal(true);
    m_label->setObjectName(QStringLiteral("Label1"));
    m_list->setObjectName(QStringLiteral("lstItem"));
    m_ok->setObjectName(QStringLiteral("OKButton"));
    m_cancel->setObjectName(QStringLiteral("CancelButton"));
    m_list->setSelectionMode(QAbstractItemView::SingleSelection);
    m_list->setAccessibleName(m_label->text());
    m_ok->setAccessibleName(m_ok->text());
    m_cancel->setAccessibleName(QStringLiteral("Cancel"));
    // Neither button answers Enter by itself.
    for (QPushButton *b : {m_ok, m_cancel}) {
        b->setAutoDefault(false);
        b->setDefault(false);
    }

    const double dx = logicalDpiX(), dy = logicalDpiY();
    auto place = [&](QWidget *w, int left, int top, int width, int height) {
        w->setGeometry(twipsToPixels(left, dx), twipsToPixels(top, dy), twipsToPixels(width, dx),
                       twipsToPixels(height, dy));
    };
    place(m_label, 120, 120, 3135, 255);
    // The caption must fit its fixed width: with a wider default font than
    // the layout was made for, the label's font is made smaller.
    QFont font = m_label->font();
    while (QFontMetrics(font).horizontalAdvance(m_label->text()) > m_label->width() && font.pointSizeF() > 6.0) {
        font.setPointSizeF(font.pointSizeF() - 0.5);
    }
    m_label->setFont(font);
    place(m_list, 120, 480, 3135, 2400);
    place(m_ok, 3360, 120, 1215, 375);
    place(m_cancel, 3360, 600, 1215, 375);
    setFixedSize(twipsToPixels(4770, dx), twipsToPixels(3195, dy));

    setTabOrder(m_ok, m_cancel);
    setTabOrder(m_cancel, m_list);

    connect(m_ok, &QPushButton::clicked, this, &dlgSelectAddItem::OKButton_Click);
    connect(m_cancel, &QPushButton::clicked, this, &dlgSelectAddItem::CancelButton_Click);
    connect(m_list, &QListWidget::currentRowChanged, this, &dlgSelectAddItem::updateOk);
    // A double-click on a name, or Enter in the list, chooses it as OK does.
    connect(m_list, &QListWidget::itemActivated, this, [this](QListWidgetItem *item) {
        m_list->setCurrentItem(item);
        OKButton_Click();
    });
    updateOk();
}

void dlgSelectAddItem::SetAddableItems(const QStringList &items)
{
    m_list->clear();
    m_list->addItems(items);
    if (m_list->count() > 0)
        m_list->setCurrentRow(0);
    updateOk();
}

void dlgSelectAddItem::OKButton_Click()
{
    const QListWidgetItem *item = m_list->currentItem();
    if (!item)
        return;
    m_selectedItem = item->text();
    m_dialogResult = 1;
    accept();
}

void dlgSelectAddItem::CancelButton_Click()
{
    reject();
}

void dlgSelectAddItem::updateOk()
{
    // OK needs a chosen name.
    m_ok->setEnabled(m_list->currentItem() != nullptr);
}

} // namespace tarnwell
