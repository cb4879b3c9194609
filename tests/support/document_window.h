#pragma once
// The window that shows a document, found among the application's widgets,
// for tests that hold the document and look at or act on its window.

#include <QApplication>
#include <QWidget>

#include "document/chart_document_window.h"

namespace test_support {

inline document::ChartDocumentWindow* WindowOf(const document::ChartDocument* doc) {
    if (!doc)
        return nullptr;
    for (QWidget* w : QApplication::allWidgets()) {
        auto* window = qobject_cast<document::ChartDocumentWindow*>(w);
        if (window && window->Document() == doc)
            return window;
    }
    return nullptr;
}

}  // namespace test_support
