// Controls: subclassing, alignment, the standard controls.
