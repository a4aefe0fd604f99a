#pragma once
// The whole view toolkit in one include.

#include "gui/AEffGUIEditor.h"
#include "gui/BaseObject.h"
#include "gui/Bitmap.h"
#include "gui/Control.h"
#include "gui/Controls.h"
#include "gui/DrawContext.h"
#include "gui/Frame.h"
#include "gui/Geometry.h"
#include "gui/View.h"
