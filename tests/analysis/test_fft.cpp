// Tests of the transform.
