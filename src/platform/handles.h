// Opaque handles of the platform objects the program's logic holds. Each backend gives them
// meaning: the Windows backend casts them to and from its own handle types, the simulated and
// POSIX ones to and from records of their own. These structs are never defined: a backend's
// records are types of its own namespace, so that two backends in one program could never give
// one name two meanings. Only one backend is linked into any executable.
#pragma once

namespace qm {

struct InstanceObject;
struct WindowObject;
struct MenuObject;
struct CursorObject;
struct DrawObject;
struct WatchObject;
struct ListingObject;

using Instance = InstanceObject*;       // the running program's module
using Window = WindowObject*;           // a top-level window
using Menu = MenuObject*;               // a window's menu bar
using Cursor = CursorObject*;           // a mouse cursor
using DrawContext = DrawObject*;        // something to draw on: a window or a printer
using WatchHandle = WatchObject*;       // a change watch on one folder; null when none
using ListingHandle = ListingObject*;   // a folder listing under way

} // namespace qm
