// The add-in's logo as the tool windows show it: hint "Click Here", and a
// click signal that the windows turn into the about message.
#pragma once

#include <QLabel>

class TDialogService;

class TLogoImage : public QLabel {
    Q_OBJECT
public:
    explicit TLogoImage(QWidget *parent = nullptr);

signals:
    void clicked();

protected:
    void mouseReleaseEvent(QMouseEvent *event) override;
};

// The add-in's about message, which a click on the logo shows.
QString AboutMessage();
void ShowAbout(TDialogService &dialogs);
