// Keeps a layer library buildable before it has sources of its own.
