#pragma once

#include "settings/settings_controls.h"

#include <QStringList>

#include <map>
#include <set>

// The controls the load and the save reach, as plain values, with the designs' initial texts.
struct FakeControls : SettingsControls {
    std::set<QString> notReady; // volume roots that cannot be read
    std::map<Side, QString> drives;
    std::map<Side, QByteArray> dirs{{Side::Source, "/"}, {Side::Target, "/"}};
    QString name = QStringLiteral("audio.txt");
    QString pattern = QStringLiteral("*.mp3");
    int checks[16] = {};
    std::map<OptionArray, int> selected; // absent: none selected
    QString texts[8] = {QString(), QStringLiteral("Sonavex & Server v1.51.1013"),
                        QStringLiteral("60"),
                        QStringLiteral("http://votre.ip/votre_repertoire_de_base/"),
                        QStringLiteral("*.mp3;*.aac;*.vqf")};
    int trayInstalls = 0;

    void centreMainWindow() override {}
    void installTrayIcon() override { ++trayInstalls; }
    bool setDrive(Side side, const QString &root) override
    {
        if (notReady.count(root))
            return false;
        drives[side] = root;
        dirs[side] = root.toUtf8();
        return true;
    }
    QString volumeHolding(const QByteArray &path) override
    {
        QString best = QStringLiteral("/");
        for (const QString &root : {QStringLiteral("/media/usb"), QStringLiteral("/mnt/share")})
            if (path == root.toUtf8() || path.startsWith(root.toUtf8() + '/'))
                best = root;
        return best;
    }
    QByteArray dirPath(Side side) override { return dirs[side]; }
    void setDirPath(Side side, const QByteArray &path) override { dirs[side] = path; }
    QString fileName() override { return name; }
    void setFileName(const QString &text) override { name = text; }
    QString filePattern() override { return pattern; }
    void setFilePattern(const QString &text) override { pattern = text; }
    int check(OptionsCheck box) override { return checks[int(box)]; }
    void setCheck(OptionsCheck box, int value) override { checks[int(box)] = value; }
    bool optionSelected(OptionArray array, int index) override
    {
        auto found = selected.find(array);
        return found != selected.end() && found->second == index;
    }
    void selectOption(OptionArray array, int index) override { selected[array] = index; }
    QString text(OptionsText box) override { return texts[int(box)]; }
    void setText(OptionsText box, const QString &text) override { texts[int(box)] = text; }
};
