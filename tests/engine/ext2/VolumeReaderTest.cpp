// Tests are being written.
