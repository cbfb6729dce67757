// The window in German: every text it shows comes from the catalogue.
#include "FakePortList.h"
#include "PortSettingsDialog.h"
#include "Rows.h"
#include "TestWindow.h"
#include "Translations.h"

#include <QAction>
#include <QCoreApplication>
#include <QPushButton>
#include <QTranslator>

#include <gtest/gtest.h>

#include <functional>

using namespace std::chrono_literals;

namespace {

// Between the window and the catalogues: notes each text of the program's
// own that the German catalogue lacks (Qt's own texts are Qt's), and leaves
// the translating to the catalogues the program itself installed.
class CatalogueCheck : public QTranslator
{
  public:
    CatalogueCheck() { loaded = german.load(QLocale(QLocale::German), "zo-vovere", "_", ":/i18n"); }
    QString translate(const char *context, const char *source, const char *disambiguation,
                      int n) const override
    {
        const QString found = german.translate(context, source, disambiguation, n);
        if (found.isEmpty() && (context[0] != 'Q' || qstrcmp(context, "QObject") == 0))
            missing << QString::fromUtf8(source);
        return {};
    }
    bool isEmpty() const override { return false; }

    bool loaded = false;
    mutable QStringList missing;

  private:
    QTranslator german;
};

struct Scene
{
    const char *name;
    std::function<void(TestWindow &, WindowHarness &)> play;
    const char *german; // a text the German window shows, numbers as German writes them
};

class TranslationTest : public ::testing::TestWithParam<Scene>
{
  protected:
    // Every text the window shows after the scene: captions, titles, tool
    // tips, names and descriptions for screen readers, menus, the status
    // line, messages and the About box, in the same order each time.
    static QStringList shown(const Scene &scene)
    {
        WindowHarness harness;
        TestWindow window(harness.store, harness.clock, harness.fakes);
        scene.play(window, harness);
        QStringList texts{window.windowTitle()};
        for (QWidget *widget : window.findChildren<QWidget *>()) {
            // (the progress bar's text is never shown)
            for (const char *property : {"text", "title", "windowTitle"})
                if (!widget->inherits("QProgressBar"))
                    texts << widget->property(property).toString();
            texts << widget->toolTip() << widget->accessibleName()
                  << widget->accessibleDescription();
        }
        for (QAction *action : window.findChildren<QAction *>())
            texts << action->text() << action->toolTip();
        // The file dialog's title and its filters' labels, as last shown.
        texts << harness.fakes.dialog->titleShown << harness.fakes.dialog->filterShown;
        return texts + window.messages + window.abouts;
    }
};

// Texts that read the same in German (device paths are the user's own).
const QStringList kSameInBoth{"", "ZO Vovere", "Com 1", "Com 2", "OK"};

TEST_P(TranslationTest, EveryTextShownComesFromTheGermanCatalogue)
{
    const QStringList english = shown(GetParam());
    const Translations translations(QLocale(QLocale::German)); // Qt's own among them
    CatalogueCheck check;
    ASSERT_TRUE(check.loaded && translations.found());
    QCoreApplication::installTranslator(&check);
    const QLocale before;
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    const QStringList german = shown(GetParam());
    QLocale::setDefault(before);
    QCoreApplication::removeTranslator(&check);

    EXPECT_TRUE(check.missing.isEmpty())
        << "not in the catalogue: " << check.missing.join('|').toStdString();
    ASSERT_EQ(english.size(), german.size());
    QStringList untranslated;
    for (qsizetype i = 0; i < english.size(); ++i) {
        if (english[i] == german[i] && !kSameInBoth.contains(english[i]) &&
            !english[i].startsWith("/dev/"))
            untranslated << english[i];
    }
    EXPECT_TRUE(untranslated.isEmpty())
        << "shown in English: " << untranslated.join('|').toStdString();
    EXPECT_TRUE(german.contains(GetParam().german)) << german.join('|').toStdString();
}

void receive(TestWindow &window, WindowHarness &harness, int bytes)
{
    harness.fakes.dialog->choose = harness.dir.filePath("show.txt");
    window.cmdReceive->click();
    harness.fakes.port->arrive(WindowHarness::dump(12000).left(bytes));
    harness.clock.advance(20ms);
}

INSTANTIATE_TEST_SUITE_P(
    Window, TranslationTest,
    ::testing::Values(
        Scene{"Idle", [](TestWindow &, WindowHarness &) {}, "Datei &empfangen"},
        Scene{"Receiving", [](TestWindow &w, WindowHarness &h) { receive(w, h, 2100); },
              "2.048 Bytes empfangen"},
        Scene{"Saved",
              [](TestWindow &w, WindowHarness &h) {
                  receive(w, h, 20000);
                  h.clock.advance(3000ms);
              },
              "Die Datei wurde gespeichert."},
        Scene{"Sending",
              [](TestWindow &w, WindowHarness &h) {
                  h.fakes.dialog->choose =
                      TestFiles::write(h.dir.filePath("notes.txt"), QByteArray(12000, 'n'));
                  w.cmdSend->click();
                  h.fakes.port->transmitEmpty();
                  h.clock.advance(20ms);
              },
              "noch 9.952 Bytes"},
        Scene{"Canceled",
              [](TestWindow &w, WindowHarness &h) {
                  receive(w, h, 0);
                  w.cmdCancel->click();
              },
              "Vorgang abgebrochen"},
        Scene{"LineError",
              [](TestWindow &w, WindowHarness &h) {
                  receive(w, h, 100);
                  h.fakes.port->raise(1004);
              },
              "Rahmenfehler am COM-Anschluss, zurücksetzen und erneut versuchen"},
        Scene{"PortBusy",
              [](TestWindow &w, WindowHarness &h) {
                  h.fakes.port->failOpen = {CommError::Kind::Busy, "/dev/ttyS1",
                                            QObject::tr("the port is in use by %1").arg("picocom")};
                  receive(w, h, 0);
              },
              "COM2 (/dev/ttyS1) kann nicht geöffnet werden, um die Sicherung zu empfangen: der "
              "Anschluss wird von picocom verwendet.\n\nSchließen Sie das andere Programm, das "
              "den Anschluss verwendet, und versuchen Sie es erneut."},
        Scene{"About", [](TestWindow &w, WindowHarness &) { w.mnuAbout->trigger(); },
              "Über ZO Vovere"},
        Scene{"PortSettings",
              [](TestWindow &w, WindowHarness &h) {
                  static FakePortList none;
                  new PortSettingsDialog(h.store, none, &w);
              },
              "Anschlusseinstellungen"}),
    rowName);

} // namespace
