"""MoonLodge local development community server."""
