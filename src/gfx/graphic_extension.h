// A graphic extension: an extra drawable that a graphics object carries
// besides its own scene node. The object owns it (deletes it on removal and
// on `remove`), tells it when the object is shown or hidden, and whoever
// drives the object's frame may give it the per-frame call.
#pragma once

class graphicsObject;

class graphicExtension {
 public:
  graphicExtension() = default;
  graphicExtension(const graphicExtension&) = delete;
  graphicExtension& operator=(const graphicExtension&) = delete;
  virtual ~graphicExtension() = default;

  // The per-frame step with the graphics object that carries it.
  virtual void update(graphicsObject& owner) = 0;
  // The carrying object was shown (true) or hidden (false).
  virtual void setVisible(bool visible) { (void)visible; }
};
