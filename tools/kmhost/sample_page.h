// The sample page: one page of drawing calls that exercises what the
// renderer draws (paths with dashes and a Bézier, an even-odd polygon, an
// ellipse, a clip rectangle and a clip region, a hatch fill, an 8 x 8
// colour pattern fill, a 24-bit image in strips, a one-bit mask image),
// issued through the engine runner between DrvStartPage and DrvSendPage.
// Used by the render demo, the renderer's tests and its benchmark.
#pragma once

#include <kplatform/engine.h>

#include <string>
#include <vector>

namespace kestrel::kmhost {

// One drawing call of the page: what it draws and what it answered.
struct SampleCall {
  std::string what;
  BOOL result;
};

// Draws the sample page on the session's open page. Every object it makes
// is deleted before it returns (also when a call fails). False when a call
// answered FALSE or an object could not be made; `calls` (when given) gets
// one entry per call made.
bool DrawSamplePage(KP_ENGINE_SESSION* session, std::vector<SampleCall>* calls = nullptr);

}  // namespace kestrel::kmhost
