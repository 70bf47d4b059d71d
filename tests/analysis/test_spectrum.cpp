// Tests of the frame reader and the working arrays.
