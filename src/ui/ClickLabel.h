#pragma once

#include <QLabel>

// A label that acts as a link or a small button: a pointing-hand cursor and a
// clicked signal when the left button is released over it.
class ClickLabel final : public QLabel
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(ClickLabel)

public:
    explicit ClickLabel(const QString &text, QWidget *parent = nullptr);
    ~ClickLabel() override;

Q_SIGNALS:
    void clicked();

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;

private:
    bool m_pressed = false;
};
