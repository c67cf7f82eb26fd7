#pragma once
// A two-button confirmation card drawn inside the main window; it deletes itself once answered.

#include <QFrame>

#include <string>

class dialog_window : public QFrame {
    Q_OBJECT

public:
    // The body is translated here; the title and button texts arrive translated.
    dialog_window(const std::string& body, const std::string& title, const std::string& right_text,
                  const std::string& left_text, bool long_left_text, QWidget* parent);

    // Closes the card unanswered, when what it asks about is over.
    void dismiss();
    // The card asks about the whole run ("Stop flashing?"), not about one stage of it.
    void ask_about_run();
    bool asks_about_run() const;

signals:
    // The left button, whatever it says: in "Confirm flashing" that is CANCEL.
    void accepted();
    // The right button: CONTINUE, STOP, ...
    void declined();
    // The card's cross.
    void closed();

private slots:
    void m_clicked();

private:
    bool m_about_run = false;
};
