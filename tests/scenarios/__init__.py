"""End-to-end scenarios, one module per area; each registers itself with @scenario."""
