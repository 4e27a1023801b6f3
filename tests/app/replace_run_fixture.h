// The fixture of the replace-run tests: the real Form1 with every subsystem attached over
// scripted services, the stand-in over a given workbook opener, and a registry of running
// instances and an empty process table in a temporary folder.
#pragma once

#include "fakes/fake_services.h"
#include "form1.h"
#include "subsystems.h"

#include "run/running_instances.h"
#include "run/stand_in.h"

#include <QFile>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

namespace apptest {

inline QByteArray bytesOf(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

inline QStringList texts(const std::vector<fakes::MessageCall>& calls) {
    QStringList shown;
    for (const auto& call : calls) {
        shown << call.text;
    }
    return shown;
}

// Files are added with "Add Excel File(s)" and sets with "Add Set", as a user would.
struct Fixture {
    explicit Fixture(run::WorkbookOpener opener)
        : services(fakes.services()), form(services),
          factory(std::move(opener), folder("registry")),
          lookup(folder("registry"), folder("proc")),
          subsystems(app::attachSubsystems(form, services, factory, lookup)) {
        std::filesystem::create_directories(folder("proc"));
        form.setInstallationFolder(dir.path() + QStringLiteral("/install"));
    }
    std::filesystem::path folder(const char* name) const {
        return std::filesystem::path(dir.path().toStdString()) / name;
    }
    QString file(const QString& name) const { return dir.path() + QLatin1Char('/') + name; }

    void load() {
        QVERIFY(form.Form_Load());
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
    }
    void addFiles(const QStringList& paths) {
        fakes.fileDialogs.openManyAnswers.enqueue(paths);
        QTest::mouseClick(form.PushButton3, Qt::LeftButton);
    }
    void addSet(const QString& entry) {
        fakes.inputBox.answers.enqueue(entry);
        QTest::mouseClick(subsystems.setsPage.PushButton8, Qt::LeftButton);
    }
    void setFind(const QString& find, const QString& replace) {
        form.Text1->setPlainText(find);
        form.Text2->setPlainText(replace);
    }
    void start() { QTest::mouseClick(form.PushButton7, Qt::LeftButton); }

    QTemporaryDir dir;
    fakes::FakeServices fakes;
    platform::Services services;
    Form1 form;
    run::StandInFactory factory;
    run::SystemRunningLookup lookup;
    app::Subsystems subsystems;
};

} // namespace apptest
