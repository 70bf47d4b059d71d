// Tests of the pitch and level detection.
