#pragma once

#include <QDialog>

class Forms;
class QLabel;

// The about box: the product and its version, the home page as a link, and thanks.
class Form2 : public QDialog
{
    Q_OBJECT

public:
    explicit Form2(Forms &forms);

    QLabel *Label2 = nullptr;
    QLabel *Label3 = nullptr; // the home page, a link
    QLabel *Label4 = nullptr;
    QLabel *Label5 = nullptr;

    void Form_Load();
    void Label3_Click();

    // The captions that change with the interface language.
    void applyCaptions(int langue);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    QRect scaled(int left, int top, int width, int height) const;

    Forms &forms_;
};
