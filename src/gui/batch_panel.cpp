#include "gui/batch_panel.h"

#include "gui/device_size_text.h"
#include "gui/main_window_layout.h"
#include "gui/ui_style.h"

#include <QGridLayout>
#include <QLabel>
#include <QScrollArea>
#include <QScrollBar>

#include <algorithm>

namespace {

// The end page's row look.
const char* const cell_style = "QLabel {font-size: 12px; color: %1;}";
enum cell { name, size, worker, stage, percent, cells_in_row };
// Wide enough for "verifying" and "100%": the columns keep their place as the texts change.
const int stage_width = 64;
const int percent_width = 36;
const int rows_top = 40;

} // namespace

batch_panel::batch_panel(QWidget* parent) : QFrame(parent)
{
    setObjectName("batch_panel");
    setStyleSheet("QFrame#batch_panel {background: #ffffff;}");
    // As the form's own heading, which the panel takes the place of.
    ui_style::icon_label(":/icons/number-2.svg", QSize(20, 20), this)->move(24, 8);
    auto* title = new QLabel(tr("Flashing the USB sticks"), this);
    title->setFont(ui_style::ubuntu_medium());
    title->setStyleSheet(main_window_layout::section_style);
    title->move(52, 8);
    title->adjustSize();
    m_rate = new QLabel(this);
    m_rate->setFont(ui_style::ubuntu_regular());
    m_rate->setStyleSheet(device_size_text::grey_info);
    m_rate->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    m_rate->setGeometry(276, 10, 300, 20);

    // More sticks than there is room for scroll.
    m_area = new QScrollArea(this);
    m_area->setObjectName("batch_rows");
    m_area->setFrameShape(QFrame::NoFrame);
    m_area->setStyleSheet("QScrollArea#batch_rows {background: #ffffff; border: none;}");
    m_area->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_area->verticalScrollBar()->setStyleSheet(main_window_layout::scroll_bar_style);
    m_rows = new QWidget(m_area);
    m_rows->setObjectName("rows");
    m_rows->setStyleSheet("QWidget#rows {background: #ffffff;}");
    m_grid = new QGridLayout(m_rows);
    m_grid->setContentsMargins(0, 0, 0, 0);
    m_grid->setHorizontalSpacing(12);
    m_grid->setVerticalSpacing(4);
    m_grid->setColumnStretch(cell::name, 1);
    m_grid->setColumnMinimumWidth(cell::stage, stage_width);
    m_grid->setColumnMinimumWidth(cell::percent, percent_width);
    m_area->setWidget(m_rows);
    m_area->setWidgetResizable(true);
}

void batch_panel::resizeEvent(QResizeEvent* event)
{
    QFrame::resizeEvent(event);
    m_area->setGeometry(24, rows_top, 552, std::max(0, height() - rows_top));
}

void batch_panel::show_rows(const std::vector<stick_row>& rows)
{
    if (m_cells.size() != rows.size()) {
        for (const std::vector<QLabel*>& cells : m_cells)
            qDeleteAll(cells);
        m_cells.clear();
        for (int index = 0; index < int(rows.size()); ++index) {
            std::vector<QLabel*> cells;
            for (int column = 0; column < cell::cells_in_row; ++column) {
                auto* cell = new QLabel(m_rows);
                cell->setFont(ui_style::ubuntu_regular());
                if (column == cell::percent)
                    cell->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
                m_grid->addWidget(cell, index, column);
                cells.push_back(cell);
            }
            m_cells.push_back(cells);
        }
        // The rows keep to the top, however few.
        for (int row = 0; row < int(rows.size()); ++row)
            m_grid->setRowStretch(row, 0);
        m_grid->setRowStretch(int(rows.size()), 1);
    }
    for (std::size_t index = 0; index < rows.size(); ++index) {
        const stick_row& row = rows[index];
        const std::vector<QLabel*>& cells = m_cells[index];
        const QStringList texts {row.name, row.size, row.worker, row.stage, row.percent};
        for (int column = 0; column < cell::cells_in_row; ++column) {
            const char* colour = column == cell::stage && row.stage_colour ? row.stage_colour
                                                                              : ui_style::colour::main_text;
            QLabel* cell = cells[std::size_t(column)];
            cell->setText(texts[column]);
            const QString style = QString(cell_style).arg(colour);
            if (cell->styleSheet() != style)
                cell->setStyleSheet(style);
        }
    }
}

void batch_panel::show_rate(const QString& rate)
{
    m_rate->setText(rate);
}
