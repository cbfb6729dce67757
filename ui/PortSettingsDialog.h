#pragma once

#include "PortList.h"

#include <QDialog>

class QComboBox;
class QTreeWidget;
class SettingsStore;

// File > Port Settings...: which device COM1 and COM2 stand for. Lists the
// serial ports the computer has, with the stable name of each where there is
// one and whether it can be opened now, follows plugging and unplugging while
// it is shown, and takes any path typed in. OK writes [Ports] at once.
class PortSettingsDialog : public QDialog
{
    Q_OBJECT
  public:
    PortSettingsDialog(SettingsStore &store, PortList &ports, QWidget *parent = nullptr);

    QComboBox *com1() const { return m_com[0]; }
    QComboBox *com2() const { return m_com[1]; }
    QTreeWidget *portTable() const { return m_table; }

    void accept() override;

  protected:
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;

  private:
    void refresh();
    // Widens the dialog so that the device and its status show.
    void fitTable();
    void useSelectedFor(int port);

    SettingsStore &m_store;
    PortList &m_ports;
    QComboBox *m_com[2] = {};
    QTreeWidget *m_table = nullptr;
    QStringList m_listed; // the paths the table lists
};
