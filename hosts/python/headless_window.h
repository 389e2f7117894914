// qelaudio.HeadlessWindow: a window without a screen for the control, so that
// Python can size it, send it mouse messages and save its picture as PNG.
#pragma once

#include <pybind11/pybind11.h>

#include <functional>

#include "com/interfaces.h"

namespace qelaudio {

// Adds HeadlessWindow to the module; dispatchOf turns a qelaudio object into
// its IDispatch (not AddRef'd).
void RegisterHeadlessWindow(pybind11::module_& m,
                            std::function<qel::com::IDispatch*(pybind11::handle)> dispatchOf);

}  // namespace qelaudio
