#include "PortSettingsDialog.h"

#include "SettingsStore.h"
#include "StartupSettings.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFileInfo>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <algorithm>

PortSettingsDialog::PortSettingsDialog(SettingsStore &store, PortList &ports, QWidget *parent)
    : QDialog(parent), m_store(store), m_ports(ports)
{
    setWindowTitle(tr("Port Settings"));

    auto *form = new QFormLayout;
    for (int port : {1, 2}) {
        auto *combo = new QComboBox(this);
        combo->setEditable(true);
        combo->setInsertPolicy(QComboBox::NoInsert);
        combo->setMinimumContentsLength(32);
        combo->setEditText(StartupSettings::devicePath(m_store, port));
        combo->setAccessibleName(tr("Device for COM%1").arg(port));
        auto *label = new QLabel(tr("COM&%1 device:").arg(port), this);
        label->setBuddy(combo);
        form->addRow(label, combo);
        m_com[port - 1] = combo;
        // A path typed by hand is listed, with its status, once typed.
        connect(combo->lineEdit(), &QLineEdit::editingFinished, this, [this, combo] {
            if (!m_listed.contains(combo->currentText())) {
                refresh();
                fitTable();
            }
        });
    }

    auto *tableLabel = new QLabel(tr("Serial &ports on this computer:"), this);
    m_table = new QTreeWidget(this);
    m_table->setRootIsDecorated(false);
    m_table->setHeaderLabels({tr("Device"), tr("Status"), tr("Description"), tr("Manufacturer"),
                              tr("Serial number"), tr("Stable name")});
    m_table->setAccessibleName(tr("Serial ports on this computer"));
    m_table->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    tableLabel->setBuddy(m_table);

    auto *use1 = new QPushButton(tr("Use for COM &1"), this);
    auto *use2 = new QPushButton(tr("Use for COM &2"), this);
    connect(use1, &QPushButton::clicked, this, [this] { useSelectedFor(1); });
    connect(use2, &QPushButton::clicked, this, [this] { useSelectedFor(2); });
    auto *useRow = new QHBoxLayout;
    useRow->addStretch();
    useRow->addWidget(use1);
    useRow->addWidget(use2);

    auto *hint = new QLabel(
        tr("A USB serial adapter is listed under its stable name in /dev/serial/by-id, which "
           "stays the same in any USB socket. Any other device path can be typed in, or a "
           "serial server on the network as rfc2217://HOST:PORT (RFC 2217) or tcp://HOST:PORT "
           "(raw TCP)."),
        this);
    hint->setWordWrap(true);

    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto *layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(tableLabel);
    layout->addWidget(m_table);
    layout->addLayout(useRow);
    layout->addWidget(hint);
    layout->addWidget(buttons);

    connect(&m_ports, &PortList::changed, this, [this] {
        refresh();
        fitTable();
    });
    refresh();
    fitTable();
}

void PortSettingsDialog::fitTable()
{
    // Wide enough for the device and its status at the desktop's font (the
    // rest of the columns scroll), within the screen.
    const QHeaderView *columns = m_table->header();
    int wanted = std::max(sizeHint().width(), fontMetrics().averageCharWidth() * 80);
    wanted =
        std::max(wanted, columns->sectionSize(0) + columns->sectionSize(1) +
                             2 * m_table->frameWidth() + 2 * layout()->contentsMargins().left() +
                             m_table->verticalScrollBar()->sizeHint().width());
    if (const QScreen *shown = screen())
        wanted = std::min(wanted, shown->availableGeometry().width());
    if (width() < wanted)
        resize(wanted, std::max(height(), sizeHint().height()));
}

void PortSettingsDialog::refresh()
{
    // A stored or typed path the system does not list (a socat link, a
    // pseudo-terminal) is shown too, with its status.
    QStringList paths;
    for (int port : {1, 2})
        paths << StartupSettings::devicePath(m_store, port) << m_com[port - 1]->currentText();
    const QList<PortInfo> ports = m_ports.portsAnd(paths);
    m_listed.clear();
    for (const PortInfo &port : ports)
        m_listed << port.device << port.preferredPath();
    const QString selected = m_table->currentItem()
                                 ? m_table->currentItem()->data(0, Qt::UserRole).toString()
                                 : QString();
    m_table->clear();
    for (const PortInfo &port : ports) {
        auto *item =
            new QTreeWidgetItem(m_table, {port.device, port.status, port.description,
                                          port.manufacturer, port.serialNumber, port.stablePath});
        item->setData(0, Qt::UserRole, port.preferredPath());
        if (port.preferredPath() == selected)
            m_table->setCurrentItem(item);
    }
    for (QComboBox *combo : m_com) {
        const QString typed = combo->currentText();
        combo->clear();
        for (const PortInfo &port : ports)
            combo->addItem(port.preferredPath());
        combo->setEditText(typed);
    }
}

void PortSettingsDialog::useSelectedFor(int port)
{
    if (QTreeWidgetItem *item = m_table->currentItem())
        m_com[port - 1]->setEditText(item->data(0, Qt::UserRole).toString());
}

void PortSettingsDialog::accept()
{
    for (int port : {1, 2}) {
        const QString path = m_com[port - 1]->currentText().trimmed();
        m_store.write(StartupSettings::kPorts, StartupSettings::portKey(port),
                      path.isEmpty() ? StartupSettings::defaultDevice(port) : path);
    }
    QDialog::accept();
}

void PortSettingsDialog::showEvent(QShowEvent *event)
{
    m_ports.setWatching(true);
    refresh();
    fitTable();
    QDialog::showEvent(event);
}

void PortSettingsDialog::hideEvent(QHideEvent *event)
{
    m_ports.setWatching(false);
    QDialog::hideEvent(event);
}
