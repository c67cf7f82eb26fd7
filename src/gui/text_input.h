#pragma once
// A single-line form input that checks its own text and turns red when the text is wrong.

#include <QLineEdit>

#include <regex>
#include <string>

class text_input_popup;

class text_input : public QLineEdit {
    Q_OBJECT

public:
    // `pattern` is matched against the whole text; `error_text` fills the hover bubble.
    text_input(const std::string& placeholder, const std::string& pattern,
               const std::string& error_text, QWidget* parent);

    bool is_valid() const;
    text_input_popup* popup() const;

signals:
    void pressed();

public slots:
    void validate_text();

protected:
    void focusInEvent(QFocusEvent* event) override;
    void enterEvent(QEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private slots:
    // Without a selection these take the whole text.
    void m_copy();
    void m_cut();

private:
    text_input_popup* m_popup;
    std::regex m_pattern;
    bool m_valid = true;
};
